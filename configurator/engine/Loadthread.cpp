#include "Loadthread.h"

#include "Configstruct.h"
#include "engine_view.h"
#include "Rs232_setup.h"

#include <optional>

namespace {

constexpr uint32_t kApverReadSize = 40;
constexpr int kApverAttempts = 2;
constexpr size_t kVersionWithin = 60;
constexpr size_t kFieldMax = 12;

int send(std::string_view command) {
    return SendAtExpectOk(command.data(), static_cast<int>(command.size()));
}

int send(std::string_view command, int reads) {
    return SendAtExpectOkTries(command.data(), static_cast<int>(command.size()), reads);
}

} // namespace

void SetOpenPortLine(std::optional<uint32_t> baud, bool eightNoneOne) {
    comm::Port* port = ComHandle();
    if (port == nullptr)
        return;
    comm::Dcb dcb;
    if (!port->getState(dcb))
        return;
    if (baud)
        dcb.BaudRate = *baud;
    if (eightNoneOne) {
        dcb.ByteSize = 8;
        dcb.Parity = comm::NoParity;
        dcb.StopBits = comm::OneStopBit;
    }
    port->setState(dcb);
}

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The escape and the handshake of the apply and restore jobs. ok: 1 when the modem is in command
// mode and answers.
int escapeAndHandshake(int dcd, int ate1Reads) {
    const int esc = EscapeToCommandMode();
    if (esc == 2) {
        if (dcd == 1)
            send("ath\r\n", 1);
        return 1;
    }
    return send("ate1\r\n", ate1Reads);
}

void stopTunnelAndHangUp() {
    send("at*stopsms\r\n");
    SleepMs(50);
    send("ath\r\n");
    SleepMs(50);
}

} // namespace

int ParseApVersion(std::string_view reply, ApVersionInfo& info) {
    const bool q8690 = contains(reply, "BREL Q8690I v");
    if (!q8690 && !contains(reply, "BREL Q8630 v"))
        return contains(reply, "ERROR") ? -1 : 0;
    const size_t mark = reply.find(" v");
    if (mark == std::string_view::npos || mark >= kVersionWithin)
        return 0;
    size_t i = mark + 2;
    for (size_t n = 0; n < kFieldMax; ++n, ++i) {
        // The line ends at a blank, CR or LF, and the text at its end.
        const char c = i < reply.size() ? reply[i] : '\0';
        if (c == ' ' || c == '\r' || c == '\n' || c == '\0') {
            const size_t b = reply.find("build ");
            if (b != std::string_view::npos) {
                for (size_t d = b + 6; d < reply.size() && info.build.size() < kFieldMax; ++d) {
                    if (reply[d] < '0' || reply[d] > '9')
                        break;
                    info.build.push_back(reply[d]);
                }
            }
            return 1;
        }
        info.version.push_back(c);
        info.model = q8690 ? "Q8690I" : "Q8630";
    }
    return 1;
}

int CheckApVersion(ApVersionInfo& info) {
    info.version.clear();
    info.build.clear();
    comm::Port* port = ComHandle();
    if (port == nullptr)
        return 0;
    PurgeReceive();
    static constexpr char kCommand[] = "at*apver\r\n";
    uint32_t written = 0;
    if (!port->write(kCommand, sizeof kCommand - 1, &written) || written != sizeof kCommand - 1)
        return 0;
    for (int attempt = 0; attempt < kApverAttempts; ++attempt) {
        std::string first;
        std::string second;
        ReadChunk(first, kApverReadSize);
        ReadChunk(second, kApverReadSize);
        const int found = ParseApVersion(first + second, info);
        if (found != 0)
            return found == 1 ? 1 : 0;
    }
    return 0;
}

LoadThread::LoadThread(LoadJobFlags flags, std::string knownModel, QObject* parent) : QThread(parent) {
    info_.model = std::move(knownModel);
    if (flags.upgrade)
        job_ = Job::Upgrade;
    else if (flags.apply)
        job_ = Job::Apply;
    else if (flags.read)
        job_ = Job::Read;
    else if (flags.restore)
        job_ = Job::Restore;
}

ApVersionInfo LoadThread::apInfo() const {
    std::lock_guard lock(infoMutex_);
    return info_;
}

void LoadThread::run() {
    switch (job_) {
    case Job::None:
        return;
    case Job::Upgrade:
        runUpgrade();
        break;
    case Job::Apply:
        result_.store(applySettings());
        break;
    case Job::Read:
        result_.store(readSettings());
        break;
    case Job::Restore:
        result_.store(restoreDefaults());
        break;
    }
    engineView()->endStatusModal();
}

int LoadThread::checkModel() {
    ApVersionInfo info = apInfo();
    const int known = CheckApVersion(info);
    std::lock_guard lock(infoMutex_);
    info_ = info;
    return known;
}

int LoadThread::applySettings() {
    const auto view = engineView();
    const int baudIndex = GetLinkSettings().BaudIndex;
    view->setProgressMax(47);
    view->setProgress(0);
    view->setStatusTitle("Apply new settings to modem");
    view->setStatusText("Initial...");

    const int dcd = IsDcdOn();
    const int ok = escapeAndHandshake(dcd, 5);
    view->setStatusText("Checking modem status");
    if (ok == 0)
        return -2;
    if (dcd == 0 && IsDcdOn() == 1)
        return -3;
    stopTunnelAndHangUp();
    if (checkModel() == 0)
        return -4;

    // The dialogue runs at 115200, where its long prompts fit the read time-outs.
    const bool moved = baudIndex != kBaudIndex115200;
    if (moved) {
        send("at+wind=0\r\n");
        SleepMs(20);
        send("at+ipr=115200\r\n");
        SetOpenPortLine(115200, false);
        SetPortTimeouts(kFastLineTimeouts);
    }
    SleepMs(50);
    if (WriteConfigToModem(record_) == 0)
        return -1;
    if (moved && !view->configSerialTicked()) {
        const uint32_t rate = BaudRateForIndex(baudIndex);
        send("at+ipr=" + IntToText(static_cast<int>(rate)) + "\r\n");
        SetOpenPortLine(rate, false);
        send("at&w\r\n");
        SetPortTimeouts(kUserRateTimeouts);
    }
    result_.store(1);
    SleepMs(1000);
    send("at+cfun=1\r\n", 3);
    return 1;
}

int LoadThread::readSettings() {
    const auto view = engineView();
    view->setProgressMax(30);
    view->setProgress(0);
    view->setStatusTitle("Get settings from modem");
    view->setStatusText("Initial...");

    const int dcd = IsDcdOn();
    int esc = 0;
    int firstEsc = 0;
    int probe = 0;
    int ok = 0;
    // Without an escape answer (or a carrier) the modem may already be in command mode: the probe
    // tells whether its echo is on.
    const auto probeForEcho = [&] {
        probe = ProbeAt();
        if (probe == 2) {
            esc = 1;
            ok = 1;
        } else {
            ok = send("ate1\r\n", 5);
        }
    };
    if (dcd != 0) {
        esc = firstEsc = EscapeToCommandMode();
        if (esc == 1) {
            probe = ProbeAt();
            ok = probe == 2 ? 1 : send("ate1\r\n", 5);
        } else if (esc == 2) {
            if (dcd == 1)
                send("ath\r\n", 1);
            ok = 1;
        } else {
            probeForEcho();
        }
    } else {
        probeForEcho();
    }
    if (dcd == 0 && IsDcdOn() == 1)
        return -3;
    if (ok == 0)
        return -2;
    if (checkModel() == 0)
        return -4;

    view->setMainCheck(EngineView::MainCheck::SmsInDataMode, false);
    view->setMainCheck(EngineView::MainCheck::SmsOutDataMode, false);
    view->setMainCheck(EngineView::MainCheck::GsmRingOn, false);
    view->setStatusText("Start...");

    // Echo goes back off, and a modem taken off line goes back on line.
    const auto restoreModemState = [&] {
        if (probe == 1)
            send("ate0\r\n", 5);
        if (dcd != 0 && firstEsc == 1)
            send("ato\r\n");
    };
    if (ReadModemReport() < 0) {
        restoreModemState();
        return -1;
    }
    if (esc == 2 || probe == 2)
        view->setMainCheck(EngineView::MainCheck::EchoDisable, false);
    else if (probe == 1)
        view->setMainCheck(EngineView::MainCheck::EchoDisable, true);
    SleepMs(50);
    restoreModemState();
    view->setStatusText("Finish!!");
    return 1;
}

int LoadThread::restoreDefaults() {
    const auto view = engineView();
    const int dcd = IsDcdOn();
    if (escapeAndHandshake(dcd, 3) == 0)
        return -2;
    stopTunnelAndHangUp();
    if (checkModel() == 0)
        return -4;
    view->setStatusText("Beginning...");
    send("at+ipr=115200\r\n");
    view->setProgress(1);
    SetOpenPortLine(115200, false);
    SetPortTimeouts(kFastLineTimeouts);
    send("at+icf=3,4\r\n");
    view->setProgress(2);
    SetOpenPortLine(std::nullopt, true);
    send("at*default\r\n");
    view->setStatusText("Restoring...");
    view->setProgress(3);
    // The factory profile is 115200 8N1 whatever the modem had before.
    SetOpenPortLine(115200, true);
    SleepMs(20);
    if (dcd == 0 && IsDcdOn() == 1)
        return -3;
    if (WaitForReply("up OK", 100) == 0)
        return -1;
    view->setProgress(4);
    if (WaitForReply("13", 50) == 0)
        return -1;
    send("at+wind=0\r\n");
    view->setProgress(5);
    send("at&w\r\n");
    view->setProgress(6);
    view->restoreFactoryValues();
    return 1;
}
