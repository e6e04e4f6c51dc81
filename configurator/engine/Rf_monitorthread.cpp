#include "Rf_monitorthread.h"

#include "Configstruct.h"
#include "monitor_view.h"
#include "Rs232_setup.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr char kCaption[] = "Vantro Configurator";

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool contains(std::string_view text, std::string_view marker) {
    return text.find(marker) != std::string_view::npos;
}

// A marker that counts only when it starts at one of the positions 0 to 24 of a read.
size_t findEarly(std::string_view read, std::string_view marker) {
    const size_t at = read.find(marker);
    return at != std::string_view::npos && at <= 24 ? at : std::string_view::npos;
}

// Writes a command; false when no port is open or the write failed.
bool writeText(std::string_view text) {
    comm::Port* port = ComHandle();
    uint32_t written = 0;
    return port && port->write(text.data(), static_cast<uint32_t>(text.size()), &written) &&
           written == text.size();
}

} // namespace

namespace monitorreply {

std::optional<char> RegistrationState(std::string_view read) {
    const size_t marker = findEarly(read, "+CREG");
    const size_t start = marker == std::string_view::npos ? 0 : marker + 6;
    if (start >= read.size())
        return std::nullopt;
    const size_t comma = read.find(',', start);
    if (comma == std::string_view::npos || comma + 1 >= read.size())
        return std::nullopt;
    return read[comma + 1];
}

std::optional<std::string> SignalValue(std::string_view read) {
    const size_t marker = findEarly(read, "+CSQ: ");
    if (marker == std::string_view::npos)
        return std::nullopt;
    const std::string_view value = read.substr(marker + 6);
    if (value.substr(0, 2) == "99")
        return std::string("99");
    size_t digits = 0;
    while (digits < 2 && digits < value.size() && isDigit(value[digits]))
        ++digits;
    if (digits == 0)
        return std::nullopt;
    return std::string(value.substr(0, digits));
}

int BarsForRssi(int rssi) {
    if (rssi <= 0)
        return 0;
    if (rssi <= 12)
        return 1;
    if (rssi <= 20)
        return 2;
    return 3;
}

std::string OperatorCode(std::string_view reply) {
    const size_t first = reply.find(',');
    if (first == std::string_view::npos)
        return {};
    const size_t second = reply.find(',', first + 1);
    if (second == std::string_view::npos)
        return {};
    size_t at = second + 1;
    if (at < reply.size() && reply[at] == '"')
        ++at;
    std::string code;
    while (at < reply.size() && isDigit(reply[at]))
        code += reply[at++];
    return code;
}

std::optional<std::string> QuotedName(std::string_view reply) {
    const size_t open = reply.find('"');
    if (open == std::string_view::npos)
        return std::nullopt;
    const size_t close = reply.find('"', open + 1);
    if (close == std::string_view::npos || close >= 52)
        return std::nullopt;
    return std::string(reply.substr(open + 1, close - open - 1));
}

int SimPinState(std::string_view a, std::string_view b) {
    if (contains(a, "READY") || contains(b, "READY"))
        return 0;
    if (contains(a, "SIM PIN") || contains(b, "SIM PIN"))
        return 1;
    if (contains(a, "SIM PUK") || contains(b, "SIM PUK"))
        return 2;
    return 3;
}

bool IsValidPin(std::string_view pin) {
    return pin.size() == 4 && std::all_of(pin.begin(), pin.end(), isDigit);
}

} // namespace monitorreply

Rf_MonitorThread::Rf_MonitorThread(bool opMonitor, QObject* parent)
    : QThread(parent), opMonitor_(opMonitor), view_(monitorView()) {}

void Rf_MonitorThread::run() {
    Execute();
}

bool Rf_MonitorThread::stopping() const {
    return QThread::currentThread() == this && isInterruptionRequested();
}

void Rf_MonitorThread::Wait(int ms) {
    while (ms > 0 && !stopping()) {
        const int step = std::min(ms, 100);
        SleepMs(step);
        ms -= step;
    }
}

void Rf_MonitorThread::Execute() {
    if (!opMonitor_)
        return;
    MonitorView& v = *view_;
    MonitorFields& f = v.fields();
    f.DcdAtStart = 0;
    f.EchoProbeResult = 0;
    f.EscapeResult = 0;
    v.setOperator("Checking Modem", LabelColour::Unchanged);

    const int dcd = IsDcdOn();
    f.DcdAtStart = dcd;
    int esc = 0;
    int ok = 0;
    const auto probeOrEcho = [&] {
        const int probe = ProbeAt();
        f.EchoProbeResult = probe;
        if (probe == 2) {
            esc = 1;
            ok = 1;
        } else {
            ok = SendAtExpectOk("ate1\r\n", 6);
            if (ok == 1)
                esc = 1;
        }
    };
    if (dcd != 0) {
        esc = EscapeToCommandMode();
        f.EscapeResult = esc;
        if (esc == 1) {
            SendAtExpectOkTries("ath\r\n", 5, 1);
            const int probe = ProbeAt();
            f.EchoProbeResult = probe;
            ok = probe == 2 ? 1 : SendAtExpectOk("ate1\r\n", 6);
        } else if (esc == 2) {
            ok = 1;
        } else {
            probeOrEcho();
        }
    } else {
        probeOrEcho();
    }
    if (stopping())
        return;

    if (dcd == 0 && IsDcdOn() == 1) {
        v.setOperator("SMS Tunnel Activated", LabelColour::Unchanged);
        v.setRegistration("Please try again", LabelColour::Unchanged);
        return;
    }
    if (esc == 0 || ok == 0) {
        v.setOperator("Check Serial setup", LabelColour::Unchanged);
        return;
    }
    if (CheckApModel() == 0) {
        v.setOperator("Unknown device", LabelColour::Unchanged);
        v.setRegistration("Please check modem", LabelColour::Unchanged);
        return;
    }
    if (stopping())
        return;
    QuerySmsTunnel();
    if (f.SmsTunnelWasOn == 1 && dcd != 1) {
        SendAtExpectOkTries("at*smstun=0\r\n", 13, 2);
        Wait(2000);
        for (int i = 0; i < 3; ++i)
            Wait(1000);
    }
    if (stopping())
        return;
    if (CheckSimPin() == 0) {
        v.repaint();
        return;
    }
    if (stopping())
        return;
    if (f.SimState > 0)
        QuerySignalQuality();
    v.repaint();
    if (!stopping())
        v.enablePollTimer();
}

int Rf_MonitorThread::QuerySmsTunnel() {
    MonitorFields& f = view_->fields();
    f.SmsTunnelWasOn = 0;
    if (!writeText("at*smstun?\r\n"))
        return 0;
    std::string reply;
    ReadChunk(reply, 30);
    if (contains(reply, ": 1"))
        f.SmsTunnelWasOn = 1;
    else if (contains(reply, ": 0"))
        f.SmsTunnelWasOn = -1;
    return 0;
}

int Rf_MonitorThread::CheckSimPin() {
    MonitorView& v = *view_;
    PurgeReceive();
    std::string a;
    std::string b;
    int state = 3;
    if (writeText("at+cpin?\r\n") && ReadChunk(a, 30)) {
        ReadChunk(b, 30);
        state = monitorreply::SimPinState(a, b);
    }
    switch (state) {
    case 0:
        QueryRegistration();
        return 1;
    case 2:
        v.setRegistration("Need PUK Code", LabelColour::Unchanged);
        return 0;
    case 3:
        v.setRegistration("Insert SIM card or error", LabelColour::Unchanged);
        return 0;
    default:
        break;
    }

    Wait(30);
    if (stopping())
        return 0;
    std::string pin = v.askPin();
    v.setRegistration("Need Pin Code", LabelColour::Unchanged);
    if (!pin.empty() && !monitorreply::IsValidPin(pin)) {
        pin.clear();
        Wait(10);
        v.showMessage(kCaption, "Invalid PIN. 4-digit PIN required.");
    }
    if (pin.empty() || stopping())
        return 0;

    v.setRegistration("Download PIN..", LabelColour::Unchanged);
    v.repaint();
    writeText("at+cpin=" + pin + "\r\n");
    ReadChunk(a, 30);
    Wait(1000);
    ReadChunk(b, 30);
    if (!contains(a, "OK") && !contains(b, "OK")) {
        v.setRegistration("Error Pin Code", LabelColour::Unchanged);
        return 0;
    }
    Wait(2000);
    for (int i = 0; i < 6 && !stopping(); ++i) {
        if (QueryRegistration() == 1)
            return 1;
        Wait(1200);
    }
    v.setRegistration("Need Pin Code", LabelColour::Unchanged);
    return 0;
}

int Rf_MonitorThread::QueryRegistration() {
    MonitorView& v = *view_;
    MonitorFields& f = v.fields();
    if (!writeText("at+creg?\r\n"))
        return 0;
    std::string read;
    bool lastOk = false;
    for (int i = 0; i < 3; ++i) {
        v.repaint();
        lastOk = ReadChunk(read, 31);
        if (lastOk && findEarly(read, "+CREG") != std::string_view::npos)
            break;
    }
    if (!lastOk)
        return 0;
    const std::optional<char> state = monitorreply::RegistrationState(read);
    if (!state)
        return 0;

    const auto notRegistered = [&](const char* text, int simState) {
        v.setOperator("", LabelColour::WindowText);
        v.setRegistration(text, LabelColour::Red);
        f.SimState = simState;
        return 0;
    };
    switch (*state) {
    case '0':
        return notRegistered("Not Registered", -1);
    case '2':
        return notRegistered("Not Registered, Searching", -1);
    case '3':
        return notRegistered("Registration Denied", -1);
    case '4':
        return notRegistered("Unknown", -1);
    case '1':
    case '5':
        v.setRegistration(*state == '1' ? "Registered" : "Registered, Roaming", LabelColour::WindowText);
        QueryOperator();
        f.SimState = 1;
        return 1;
    default:
        return notRegistered("Unknown", -2);
    }
}

int Rf_MonitorThread::QueryOperator() {
    MonitorView& v = *view_;
    std::string reply;
    std::string code;
    const bool asked = writeText("at+cops?\r\n");
    SleepMs(20);
    if (asked && ReadChunk(reply, 51))
        code = monitorreply::OperatorCode(reply);
    v.repaint();
    // Without a code there is no name to ask for; the label stays as it is.
    if (code.empty())
        return 0;

    std::string first;
    std::string second;
    const bool sent = writeText("at+wopn=0," + code + "\r\n");
    const bool read = ReadChunk(first, 40);
    ReadChunk(second, 40);
    if (!sent || !read)
        return 0;
    v.setOperator("", LabelColour::WindowText);
    const std::optional<std::string> name = monitorreply::QuotedName(first + second);
    if (!name)
        return 0;
    v.setOperator(*name, LabelColour::Unchanged);
    v.repaint();
    return 1;
}

int Rf_MonitorThread::QuerySignalQuality() {
    MonitorView& v = *view_;
    MonitorFields& f = v.fields();
    if (!writeText("at+csq\r\n"))
        return 0;
    std::string read;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::optional<std::string> value;
        if (ReadChunk(read, 30))
            value = monitorreply::SignalValue(read);
        if (!value) {
            if (attempt == 3) {
                // No reading: the last value must not stand beside "No Signal".
                v.setRssi("");
                v.setOperator("Please Check Cable.", LabelColour::Unchanged);
                v.setRegistration("No Signal", LabelColour::Red);
                v.setBars(0);
                QueryRegistration();
            }
            continue;
        }
        if (*value == "99") {
            v.setRssi("");
            v.setOperator("Please Check attena.", LabelColour::Unchanged);
            v.setRegistration("No Signal", LabelColour::Red);
            v.setBars(0);
            f.NoSignalCount = 2;
            return 1;
        }
        v.setRssi("");
        v.setRssi(*value);
        const int rssi = std::stoi(*value);
        v.setBars(monitorreply::BarsForRssi(rssi));
        if (rssi >= 1 && rssi <= 7)
            QueryRegistration();
        v.repaint();
        if (f.NoSignalCount > 0) {
            --f.NoSignalCount;
            QueryRegistration();
        }
        return 1;
    }
    return 0;
}

int Rf_MonitorThread::CheckApModel() {
    PurgeReceive();
    if (!writeText("at*apver\r\n"))
        return 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string first;
        std::string second;
        ReadChunk(first, 40);
        ReadChunk(second, 40);
        const std::string text = first + second;
        if (contains(text, "BREL Q8690I") || contains(text, "BREL Q8630"))
            return 1;
        if (contains(text, "ERROR"))
            return 0;
    }
    return 0;
}
