// Arbitrary bytes as a configuration file or a modem's settings report: every value stays within its
// key's length and its line, the empty count matches the values, and a record written out as a file
// reads back the same for every saved key.
#include "Configstruct.h"
#include "fuzz_check.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzzsupport::asText(data, size);
    const ParsedConfig parsed = ParseConfigText(text);
    int empty = 0;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const std::string& value = parsed.values.at(k);
        check(value.size() <= ConfigKeyTable[k].MaxLength);
        check(value.find_first_of("\r\n") == std::string::npos);
        check(value.find('\0') == std::string::npos);
        empty += value.empty();
    }
    check(parsed.values.at(kConfigKeyCount).empty());
    check(parsed.EmptyValueCount == empty);

    ConfigRecord lines;
    for (int k = 0; k < kConfigKeyCount; ++k)
        lines.at(k) = parsed.values.at(k) + "\r\n";
    const ParsedConfig again = ParseConfigText(FormatConfigFile(lines));
    for (int k = 0; k < kConfigKeyCount; ++k) {
        // Keys sharing a text read the first line of that text, and a key that begins a longer one
        // may read inside it: only keys with a text of their own are compared.
        bool unique = IsSavedConfigKey(k);
        for (int j = 0; j < kConfigKeyCount && unique; ++j)
            unique =
                j == k || std::string_view(ConfigKeyTable[j].KeyText).find(ConfigKeyTable[k].KeyText) != 0;
        if (unique)
            check(again.values.at(k) == parsed.values.at(k));
    }
    return 0;
}
