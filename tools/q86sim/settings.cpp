#include "settings.h"

namespace q86sim {

Settings Settings::factory() {
    Settings s;
    for (std::size_t k = 0; k < kConfigKeyCount; ++k) {
        const KeySpec& key = kConfigKeys[k];
        // Yes/No questions are the three-character keys that skip further prompts.
        const bool question = key.maxLength == 3 && key.skip > 1;
        s.values[k] = question ? "No" : "";
    }
    s.values[kBand] = "5";
    s.values[kUsePin] = "No";
    s.values[4] = "No";
    s.values[15] = "0";
    s.values[19] = "0";
    s.values[29] = "3";
    s.values[34] = "No";
    s.values[35] = "No";
    s.values[kConfigSerial] = "No";
    return s;
}

std::string Settings::reportValue(int key) const {
    switch (key) {
    case kBaudrate:
        return std::to_string(baudCode(line.baud));
    case kDataLength:
        return line.dataBits == 7 ? "0" : "1";
    case kStopBits:
        return line.stopBits == 2 ? "1" : "0";
    case kParity:
        return std::to_string(parityCode(line.parity));
    case kFlowControl:
        return ifcDce == 2 ? "1" : "0";
    case kEchoInput:
        return echo ? "Yes" : "No";
    case kRings:
        return std::to_string(s0);
    case kDtrDrop:
        return std::to_string(dtrDrop);
    case kBearer:
        return cbst.substr(0, cbst.find(','));
    default:
        if (key < 0 || key >= static_cast<int>(kConfigKeyCount)) {
            return {};
        }
        return values[static_cast<std::size_t>(key)];
    }
}

} // namespace q86sim
