#include "termcap_table.h"

#include "capability_names.h"

#include <algorithm>

namespace terminal {

TermcapTable::TermcapTable() {
    keyMap_.fill(-1);
    buildSteps();
}

void TermcapTable::buildSteps() {
    const size_t count = nodes_.size();
    characterStep_.assign(count, {});
    parameterStep_.assign(count, NoNode);
    for (size_t head = 0; head < count; ++head) {
        auto& step = characterStep_[head];
        step.fill(NoNode);
        for (uint8_t n = static_cast<uint8_t>(head); n != NoNode; n = nodes_[n].sibling) {
            const TrieNode& node = nodes_[n];
            if (node.kind == NodeKind::Parameter) {
                if (parameterStep_[head] == NoNode)
                    parameterStep_[head] = n;
            } else if (node.kind == NodeKind::AnyCharacter) {
                for (auto& s : step) {
                    if (s == NoNode)
                        s = n;
                }
            } else if (step[node.character] == NoNode) {
                step[node.character] = n;
            }
        }
    }
    for (int b = 0; b < 256; ++b) {
        const bool digit = b >= '0' && b <= '9';
        plainAtRoot_[b] = stepCharacter(root(), static_cast<uint8_t>(b)) == NoNode &&
                          !(digit && stepParameter(root()) != NoNode);
    }
}

std::string_view TermcapTable::keyString(int keyIndex) const {
    if (keyIndex < 0 || keyIndex >= KeyCount || keys_[keyIndex].length == 255)
        return {};
    const KeyEntry& k = keys_[keyIndex];
    return {reinterpret_cast<const char*>(pool_.data()) + k.offset, k.length};
}

int TermcapTable::GetKeyString(int virtualKey, std::string& out) const {
    const int key = virtualKey >= 0 && virtualKey < 256 ? keyMap_[virtualKey] : -1;
    if (key >= 0 && keys_[key].length != 255) {
        out.assign(keyString(key));
        return 1;
    }
    out.assign(1, static_cast<char>(virtualKey));
    return 0;
}

int TermcapTable::IsCharacterKey(int virtualKey) {
    return std::find(CharacterPathKeys.begin(), CharacterPathKeys.end(), virtualKey) !=
                   CharacterPathKeys.end()
               ? 1
               : 0;
}

} // namespace terminal
