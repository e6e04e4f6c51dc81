#pragma once
// The modem's own list of configuration keys: the label of each value in its report and the prompt
// of its configuration dialogue, in dialogue order. The key names and order are shared with the
// configurator; the texts are kept apart on purpose, so that a typo on either side shows up as a
// failed exchange.

#include "config_key.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace q86sim {

struct KeySpec {
    std::string_view text;
    std::size_t maxLength; // longest value the modem keeps
    int skip;              // prompts advanced after an empty or "No" answer (1 = the next one)
};

constexpr std::size_t kConfigKeyCount = ::kConfigKeyCount;
// The dialogue prompts keys 0..42; 43..45 are set by their own commands (S0, &D, +CBST).
constexpr int kLastPromptedKey = keyIndex(kLastDialogueKey);

extern const std::array<KeySpec, kConfigKeyCount> kConfigKeys;

// Key numbers the modem itself acts on.
enum KeyIndex : int {
    kDeviceAlias = keyIndex(ConfigKey::DeviceAlias),
    kBand = keyIndex(ConfigKey::CellularBandSelection),
    kUsePin = keyIndex(ConfigKey::UsePin),
    kPinCode = keyIndex(ConfigKey::PinCode),
    kConfigSerial = keyIndex(ConfigKey::ConfigSerialPort),
    kBaudrate = keyIndex(ConfigKey::Baudrate),
    kDataLength = keyIndex(ConfigKey::DataLength),
    kStopBits = keyIndex(ConfigKey::StopBits),
    kParity = keyIndex(ConfigKey::ParityCheck),
    kFlowControl = keyIndex(ConfigKey::FlowControl),
    kEchoInput = keyIndex(ConfigKey::EchoInput),
    kSmsTunneling = keyIndex(ConfigKey::ConfigSmsTunneling),
    kRings = keyIndex(ConfigKey::AutoAnswerRings),
    kDtrDrop = keyIndex(ConfigKey::DtrDrop),
    kBearer = keyIndex(ConfigKey::GsmBearer),
};

} // namespace q86sim
