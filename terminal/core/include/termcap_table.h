// One loaded terminal description: the sequence trie, the key strings and the screen size. A table is
// built whole by TermcapBuilder and never changed afterwards, so any number of readers may walk it while a
// newer table is being loaded.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

inline constexpr int TrieCapacity = 100;
inline constexpr int KeyPoolSize = 512;
inline constexpr uint8_t NoNode = 255;
inline constexpr int MaxColumns = 80;
inline constexpr int MaxLines = 25;

// Modifier bits a sequence carries to its action.
inline constexpr uint8_t FlagOneBased = 0x01; // "%i"
inline constexpr uint8_t FlagReversed = 0x02; // "%r"

enum class NodeKind : uint8_t { Character, Parameter, AnyCharacter };

struct TrieNode {
    uint8_t character = 0;
    NodeKind kind = NodeKind::Character;
    int8_t capability = -1;      // capability whose sequence ends here, -1 none
    uint8_t capabilityFlags = 0; // modifier bits of that sequence
    uint8_t sibling = NoNode;    // next alternative at the same depth
    uint8_t child = NoNode;      // first node one byte deeper
};

struct KeyEntry {
    uint16_t offset = 0;
    uint8_t length = 255; // 255 while the key is undefined
};

class TermcapTable {
public:
    TermcapTable();

    int columns() const { return columns_; }
    int lines() const { return lines_; }
    int nodeCount() const { return static_cast<int>(nodes_.size()); }
    int poolUsed() const { return poolUsed_; }
    const TrieNode& node(uint8_t index) const { return nodes_[index]; }

    // First node of the trie, NoNode while nothing is described.
    uint8_t root() const { return nodes_.empty() ? NoNode : 0; }

    // The first node among `head` and its siblings that takes `byte` as a character (a character node of
    // that byte or an any-character node), or NoNode.
    uint8_t stepCharacter(uint8_t head, uint8_t byte) const {
        return head == NoNode ? NoNode : characterStep_[head][byte];
    }
    // The first parameter node among `head` and its siblings, or NoNode.
    uint8_t stepParameter(uint8_t head) const { return head == NoNode ? NoNode : parameterStep_[head]; }

    // True when `byte` arriving outside any sequence can only be plain text.
    bool isPlainAtRoot(uint8_t byte) const { return plainAtRoot_[byte]; }

    // The key's bytes when the description defines it (result 1); otherwise 0, with `out` holding the
    // key code itself as one byte.
    int GetKeyString(int virtualKey, std::string& out) const;
    std::string_view keyString(int keyIndex) const;
    static int IsCharacterKey(int virtualKey);

private:
    friend class TermcapBuilder;
    void buildSteps();

    int columns_ = MaxColumns;
    int lines_ = MaxLines;
    std::vector<TrieNode> nodes_;
    std::vector<std::array<uint8_t, 256>> characterStep_;
    std::vector<uint8_t> parameterStep_;
    std::array<bool, 256> plainAtRoot_{};
    std::array<KeyEntry, 21> keys_{};
    std::array<uint8_t, KeyPoolSize> pool_{};
    int poolUsed_ = 0;
    std::array<int8_t, 256> keyMap_{};
};

} // namespace terminal
