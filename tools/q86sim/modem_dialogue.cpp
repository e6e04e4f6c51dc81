#include "modem.h"

#include "modem_parse.h"

namespace q86sim {

using detail::capLog;
using detail::parseNumber;

void Modem::prompt(int key) {
    if (key == scenario_.configStopAtKey) {
        return;
    }
    post(Action::pause(scenario_.promptDelayMs));
    const std::string text = key == scenario_.configWrongPromptAtKey
                                 ? std::string("Reserved Option")
                                 : std::string(kConfigKeys[static_cast<std::size_t>(key)].text);
    say("\r\n" + text + ": ");
}

void Modem::answer(const std::string& line, Millis now) {
    const auto k = static_cast<std::size_t>(key_);
    const KeySpec& key = kConfigKeys[k];
    const std::string value = line.substr(0, key.maxLength);
    capLog(answers_);
    answers_.push_back({now, key_, value});
    active_.values[k] = value;
    stored_.values[k] = value;
    dialogueSince_ = now;
    const bool no = value.empty() || value.rfind("No", 0) == 0;
    const int next = key_ + (no ? key.skip : 1);
    if (next > kLastPromptedKey) {
        endDialogue();
        mode_ = Mode::Command;
        post(Action::pause(scenario_.promptDelayMs));
        ok();
        return;
    }
    key_ = next;
    prompt(next);
}

void Modem::endDialogue() {
    if (!stored_.isYes(kConfigSerial)) {
        return;
    }
    // The serial answers are stored and take effect at the next restart.
    auto code = [this](int key) -> long {
        long v = -1;
        return parseNumber(stored_.values[static_cast<std::size_t>(key)], v) ? v : -1;
    };
    LineSetting& l = stored_.line;
    if (const uint32_t rate = rateForBaudCode(static_cast<int>(code(kBaudrate)))) {
        l.baud = rate;
    }
    if (code(kDataLength) == 0 || code(kDataLength) == 1) {
        l.dataBits = code(kDataLength) == 0 ? 7 : 8;
    }
    if (code(kStopBits) == 0 || code(kStopBits) == 1) {
        l.stopBits = code(kStopBits) == 1 ? 2 : 1;
    }
    if (auto p = parityFromCode(static_cast<int>(code(kParity)))) {
        l.parity = *p;
    }
    if (l.stopBits == 2) {
        l.parity = ParityNone; // two stop bits always go without parity
    }
    if (code(kFlowControl) == 0 || code(kFlowControl) == 1) {
        stored_.ifcDce = stored_.ifcDte = code(kFlowControl) == 1 ? 2 : 0;
    }
    const std::string& echo = stored_.values[kEchoInput];
    if (echo.rfind("Yes", 0) == 0 || echo.rfind("No", 0) == 0) {
        stored_.echo = echo[0] == 'Y';
    }
}

} // namespace q86sim
