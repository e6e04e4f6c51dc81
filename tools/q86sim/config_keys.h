#pragma once
// The modem's own list of configuration keys: the label of each value in its report and the prompt
// of its configuration dialogue, in dialogue order. Kept apart from the configurator's table on
// purpose, so that a typo on either side shows up as a failed exchange.

#include <array>
#include <cstddef>
#include <string_view>

namespace q86sim {

struct ConfigKey {
    std::string_view text;
    std::size_t maxLength; // longest value the modem keeps
    int skip;              // prompts advanced after an empty or "No" answer (1 = the next one)
};

constexpr std::size_t kConfigKeyCount = 46;
// The dialogue prompts keys 0..42; 43..45 are set by their own commands (S0, &D, +CBST).
constexpr int kLastPromptedKey = 42;

extern const std::array<ConfigKey, kConfigKeyCount> kConfigKeys;

// Key numbers the modem itself acts on.
enum KeyIndex : int {
    kDeviceAlias = 0,
    kBand = 1,
    kUsePin = 2,
    kPinCode = 3,
    kConfigSerial = 6,
    kBaudrate = 7,
    kDataLength = 8,
    kStopBits = 9,
    kParity = 10,
    kFlowControl = 11,
    kEchoInput = 12,
    kSmsTunneling = 13,
    kRings = 43,
    kDtrDrop = 44,
    kBearer = 45,
};

} // namespace q86sim
