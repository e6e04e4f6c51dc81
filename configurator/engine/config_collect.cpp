#include "config_collect.h"

#include <algorithm>

namespace {

constexpr int kPhoneDigits = 59;
constexpr int kPinDigits = 4;

const char* yesNo(bool yes) {
    return yes ? "Yes" : "No";
}

// "+" and up to 59 digits, or empty when the field holds fewer than two digits.
std::string phoneValue(const std::string& text) {
    const std::string digits = TakeDigits(text, kPhoneDigits);
    if (digits.size() < 2)
        return {};
    return "+" + digits;
}

} // namespace

std::string TakeDigits(std::string_view text, int n) {
    std::string digits;
    for (char c : text) {
        if (static_cast<int>(digits.size()) >= n)
            break;
        if (c >= '0' && c <= '9')
            digits.push_back(c);
    }
    return digits;
}

ConfigRecord CollectConfig(const FormSnapshot& f, RecordUse use) {
    using K = ConfigKey;
    ConfigRecord r;
    r[K::DeviceAlias] = f.deviceName;
    r[K::CellularBandSelection] = std::to_string(f.bandCode);
    const std::string pinDigits = f.pin.size() == kPinDigits ? TakeDigits(f.pin, kPinDigits) : std::string();
    r[K::UsePin] = yesNo(pinDigits.size() == kPinDigits);
    r[K::PinCode] = pinDigits;
    r[K::UsePin2] = "No";
    r[K::ConfigSerialPort] = yesNo(f.configSerial);
    r[K::Baudrate] = std::to_string(f.baudCode);
    r[K::DataLength] = std::to_string(f.dataBitsCode);
    r[K::StopBits] = std::to_string(f.stopBitsCode);
    r[K::ParityCheck] = std::to_string(f.parityCode);
    r[K::FlowControl] = std::to_string(f.flowCode);
    r[K::EchoInput] = yesNo(!f.echoDisabled);
    r[K::ConfigSmsTunneling] = yesNo(f.smsIn || f.smsOut);
    if (f.smsIn || f.smsOut) {
        r[K::ConfigSmsToSerial] = yesNo(f.smsIn);
        r[K::SmsInEncoding] = std::to_string(f.smsInEncoding);
        r[K::ValidSender1] = phoneValue(f.callers[0]);
        r[K::ValidSender2] = phoneValue(f.callers[1]);
        r[K::ConfigSerialToSms] = yesNo(f.smsOut);
        r[K::SmsOutEncoding] = std::to_string(f.smsOutEncoding);
        r[K::TargetReceiver1] = phoneValue(f.targets[0]);
        r[K::TargetReceiver2] = phoneValue(f.targets[1]);
    }
    // The window has no controls for the call and GPRS options: they are always off.
    for (int k = keyIndex(K::ConfigAutoanswerAuth); k <= keyIndex(K::EnableV42bisPdpDataCompression); ++k)
        r.at(k) = "No";
    const bool anyInit = std::any_of(f.initCommands.begin(), f.initCommands.end(),
                                     [](const std::string& c) { return !c.empty(); });
    r[K::ConfigOtherInitString] = yesNo(anyInit);
    if (anyInit) {
        for (int i = 0; i < static_cast<int>(f.initCommands.size()); ++i)
            r.at(keyIndex(K::InitCommand1) + i) = f.initCommands[static_cast<std::size_t>(i)];
    }
    const bool file = use == RecordUse::File;
    r[K::AutoAnswerRings] = (file ? "" : "ats0=") + std::to_string(f.rings);
    r[K::DtrDrop] = (file ? "" : "at&d") + std::to_string(f.dtrDrop);
    r[K::GsmBearer] = (file ? "" : "at+cbst=") + std::to_string(f.bearer);
    for (int k = 0; k < kConfigKeyCount; ++k)
        r.at(k) += "\r\n";
    return r;
}
