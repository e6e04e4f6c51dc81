#include "simulated_modem.h"

#include "port_map.h"
#include "shared_lines.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace q86sim {

namespace {

int64_t steadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t rateOf(speed_t s) {
    switch (s) {
    case B300:
        return 300;
    case B600:
        return 600;
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    case B230400:
        return 230400;
    default:
        return 0;
    }
}

} // namespace

// The modem's side of the modem-control lines, and what the application last applied to its port.
class SimulatedModem::Lines : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = TIOCM_DSR | (cts.load() ? TIOCM_CTS : 0) | (dcd.load() ? TIOCM_CAR : 0);
        return true;
    }
    bool setLines(int, int raise, int drop) override {
        outputs.store((outputs.load() | raise) & ~drop);
        return true;
    }
    void settingsApplied(int, const comm::TtyLineSettings& s) override {
        std::lock_guard lock(mutex);
        applied = s;
    }
    std::optional<comm::TtyLineSettings> appliedSettings() const {
        std::lock_guard lock(mutex);
        return applied;
    }

    // Writes the lines the modem drives to the shared file, when there is one.
    void share() const {
        if (!sharedFile.empty()) {
            comm::writeModemLines(sharedFile,
                                  TIOCM_DSR | (cts.load() ? TIOCM_CTS : 0) | (dcd.load() ? TIOCM_CAR : 0));
        }
    }
    bool dtr() const {
        int modem = 0, program = 0;
        if (!sharedFile.empty() && comm::readSharedLines(sharedFile, &modem, &program)) {
            return (program & TIOCM_DTR) != 0;
        }
        return (outputs.load() & TIOCM_DTR) != 0;
    }

    std::atomic<bool> cts{true};
    std::atomic<bool> dcd{false};
    std::atomic<int> outputs{0};
    std::string sharedFile; // set before the thread starts

private:
    mutable std::mutex mutex;
    std::optional<comm::TtyLineSettings> applied;
};

SimulatedModem::SimulatedModem(Scenario scenario)
    : modem_(std::move(scenario), 0), lines_(std::make_shared<Lines>()) {
    wire_ = modem_.active().line;
}

SimulatedModem::~SimulatedModem() {
    stop();
}

void SimulatedModem::start() {
    if (thread_.joinable()) {
        return;
    }
    pty_ = std::make_unique<comm::PtyPair>();
    devicePath_ = pty_->slavePath();
    ::fcntl(pty_->master(), F_SETFL, ::fcntl(pty_->master(), F_GETFL) | O_NONBLOCK);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    {
        // The lines hold the power-on state before the application can look at them.
        std::lock_guard lock(mutex_);
        lines_->cts = modem_.cts();
        lines_->dcd = modem_.dcd();
        for (Action& a : modem_.takeActions()) {
            queue_.push_back(std::move(a));
        }
    }
    lines_->share();
    comm::setLineControl(devicePath_, lines_);
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void SimulatedModem::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        wake();
        thread_.join();
    }
    if (!devicePath_.empty()) {
        comm::setLineControl(devicePath_, nullptr);
    }
    if (publishedPort_ != 0) {
        portmap::writeEntry(publishedMap_, publishedPort_, "");
        publishedPort_ = 0;
    }
    if (!sharedLines_.empty()) {
        ::unlink(sharedLines_.c_str());
        sharedLines_.clear();
        lines_->sharedFile.clear();
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    pty_.reset();
}

bool SimulatedModem::publish(int port) {
    return publish(port, portmap::mapFilePath());
}

bool SimulatedModem::shareLines(const std::string& file) {
    if (thread_.joinable()) {
        errno = EBUSY;
        return false;
    }
    if (!comm::createSharedLines(file, TIOCM_DSR)) {
        return false;
    }
    sharedLines_ = file;
    lines_->sharedFile = file;
    return true;
}

bool SimulatedModem::publish(int port, const std::string& mapFile) {
    if (devicePath_.empty() || !portmap::writeEntry(mapFile, port, devicePath_, sharedLines_)) {
        return false;
    }
    publishedMap_ = mapFile;
    publishedPort_ = port;
    return true;
}

void SimulatedModem::wake() {
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

int64_t SimulatedModem::byteUs(const LineSetting& l) const {
    return std::max<int64_t>(1, int64_t{l.bitsPerChar()} * 1'000'000 / std::max<uint32_t>(l.baud, 1));
}

bool SimulatedModem::applicationMatches() const {
    termios t{};
    if (::tcgetattr(pty_->master(), &t) != 0) {
        return false;
    }
    LineSetting app = wire_;
    app.baud = rateOf(cfgetospeed(&t));
    app.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    // Data bits and parity come from the application's port layer in this process; a pty drops them.
    if (auto applied = lines_->appliedSettings(); applied && applied->baud == app.baud) {
        app.dataBits = applied->dataBits;
        app.parity = applied->parity;
    }
    return app == wire_;
}

void SimulatedModem::run() {
    const int64_t origin = steadyUs();
    const int master = pty_->master();
    char buf[4096];
    while (!stopping_) {
        int64_t now = steadyUs() - origin;
        const int64_t wait = std::clamp<int64_t>(nextWakeUs(now) - now, 0, 100'000);
        pollfd fds[2] = {{master, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const bool listening = now >= hangupUntilUs_;
        // To the microsecond: a byte's time on a fast line is well under a millisecond.
        const timespec timeout{static_cast<time_t>(wait / 1'000'000),
                               static_cast<long>(wait % 1'000'000) * 1000};
        ::ppoll(listening ? fds : fds + 1, listening ? 2 : 1, &timeout, nullptr);
        now = steadyUs() - origin;
        uint64_t drained = 0;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
        if (listening && (fds[0].revents & POLLIN)) {
            while (true) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n <= 0) {
                    if (n < 0 && errno == EIO) {
                        hangupUntilUs_ = now + 20'000; // nobody holds the slave: look again later
                    }
                    break;
                }
                std::lock_guard lock(mutex_);
                for (ssize_t i = 0; i < n; ++i) {
                    inputFreeUs_ = std::max(now, inputFreeUs_) + byteUs(wire_);
                    input_.push_back({inputFreeUs_, buf[i]});
                }
            }
        } else if (listening && (fds[0].revents & (POLLHUP | POLLERR))) {
            hangupUntilUs_ = now + 20'000;
        }
        pump(now); // output and line changes due by now come first: they happened before
        {
            std::lock_guard lock(mutex_);
            // A byte is judged when it has crossed the line: a rate switch that happens while the
            // application's next command is on its way is in force for it.
            std::string noise;
            const bool match = input_.empty() || applicationMatches();
            while (!input_.empty() && input_.front().dueUs <= now) {
                const Pending p = input_.front();
                input_.pop_front();
                if (match) {
                    modem_.receive(std::string_view(&p.byte, 1), p.dueUs / 1000);
                } else {
                    ++ignored_;
                    // What a receiver at another rate makes of it: nothing that reads as text.
                    noise.push_back(static_cast<char>(0x80 | ((p.dueUs / 7 + p.byte) & 0x7F)));
                }
            }
            if (!noise.empty() && modem_.scenario().noiseOnMismatch &&
                ::write(master, noise.data(), noise.size()) > 0) {
                sent_ += noise.size();
            }
            if (auto d = modem_.nextDeadline(); d && *d * 1000 <= now) {
                modem_.tick(now / 1000);
            }
            for (Action& a : modem_.takeActions()) {
                queue_.push_back(std::move(a));
            }
        }
        pump(now);
        changed_.notify_all();
    }
}

void SimulatedModem::pump(int64_t now) {
    std::lock_guard lock(mutex_);
    while (!queue_.empty()) {
        Action& a = queue_.front();
        switch (a.kind) {
        case Action::Kind::Pause:
            if (pauseUntilUs_ < 0) {
                pauseUntilUs_ = now + int64_t{a.pauseMs} * 1000;
            }
            if (now < pauseUntilUs_) {
                return;
            }
            pauseUntilUs_ = -1;
            break;
        case Action::Kind::SetLine:
            wire_ = a.line;
            break;
        case Action::Kind::SetDcd:
            lines_->dcd = a.on;
            lines_->share();
            break;
        case Action::Kind::SetCts:
            lines_->cts = a.on;
            lines_->share();
            break;
        case Action::Kind::Send: {
            const int64_t per = byteUs(wire_);
            if (sendStartUs_ < 0) {
                sendStartUs_ = now;
            }
            const auto due =
                std::min<std::size_t>(a.bytes.size(), static_cast<std::size_t>((now - sendStartUs_) / per));
            if (due > sendOffset_) {
                if (applicationMatches()) {
                    const ssize_t n =
                        ::write(pty_->master(), a.bytes.data() + sendOffset_, due - sendOffset_);
                    if (n < 0) {
                        if (errno == EAGAIN) {
                            blockedUntilUs_ = now + 20'000; // the application is not reading
                            return;
                        }
                        sendOffset_ = due; // no reader at all: the bytes are lost on the line
                    } else {
                        sendOffset_ += static_cast<std::size_t>(n);
                        sent_ += static_cast<std::size_t>(n);
                    }
                } else {
                    sendOffset_ = due; // garbage at the other rate: lost
                }
            }
            if (sendOffset_ < a.bytes.size()) {
                return;
            }
            // The next burst follows this one without a gap if it is already waiting.
            sendStartUs_ = std::max(now, sendStartUs_ + static_cast<int64_t>(a.bytes.size()) * per);
            sendOffset_ = 0;
            queue_.pop_front();
            if (queue_.empty() || queue_.front().kind != Action::Kind::Send) {
                sendStartUs_ = -1;
            }
            continue;
        }
        }
        queue_.pop_front();
    }
}

int64_t SimulatedModem::nextWakeUs(int64_t now) const {
    int64_t next = now + 100'000;
    std::lock_guard lock(mutex_);
    const bool blocked = now < blockedUntilUs_;
    if (auto d = modem_.nextDeadline()) {
        next = std::min(next, *d * 1000);
    }
    if (!input_.empty()) {
        next = std::min(next, input_.front().dueUs);
    }
    if (!queue_.empty()) {
        const Action& a = queue_.front();
        if (a.kind == Action::Kind::Pause && pauseUntilUs_ >= 0) {
            next = std::min(next, pauseUntilUs_);
        } else if (a.kind == Action::Kind::Send && blocked) {
            next = std::min(next, blockedUntilUs_);
        } else if (a.kind == Action::Kind::Send && sendStartUs_ >= 0) {
            next = std::min(next, sendStartUs_ + int64_t(sendOffset_ + 1) * byteUs(wire_));
        } else {
            next = now;
        }
    }
    return next;
}

std::vector<CommandRecord> SimulatedModem::commands() const {
    std::lock_guard lock(mutex_);
    return modem_.commandLog();
}

std::vector<std::string> SimulatedModem::commandTexts() const {
    std::vector<std::string> out;
    for (const CommandRecord& r : commands()) {
        out.push_back(r.text);
    }
    return out;
}

std::vector<AnswerRecord> SimulatedModem::answers() const {
    std::lock_guard lock(mutex_);
    return modem_.answerLog();
}

Settings SimulatedModem::active() const {
    std::lock_guard lock(mutex_);
    return modem_.active();
}

Settings SimulatedModem::stored() const {
    std::lock_guard lock(mutex_);
    return modem_.stored();
}

LineSetting SimulatedModem::line() const {
    std::lock_guard lock(mutex_);
    return wire_;
}

bool SimulatedModem::dcd() const {
    return lines_->dcd.load();
}

bool SimulatedModem::dtr() const {
    return lines_->dtr();
}

std::string SimulatedModem::firmwareVersion() const {
    std::lock_guard lock(mutex_);
    return modem_.firmwareVersion();
}

std::string SimulatedModem::transferData() const {
    std::lock_guard lock(mutex_);
    return modem_.lastTransfer().data();
}

XmodemReceiver::State SimulatedModem::transferState() const {
    std::lock_guard lock(mutex_);
    return modem_.lastTransfer().state();
}

void SimulatedModem::withModem(const std::function<void(Modem&)>& f) {
    {
        std::lock_guard lock(mutex_);
        f(modem_);
    }
    wake();
}

bool SimulatedModem::waitFor(const std::function<bool(const Modem&)>& pred,
                             std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(modem_); });
}

bool SimulatedModem::waitForCommand(const std::string& text, std::chrono::milliseconds timeout) {
    return waitFor(
        [&text](const Modem& m) {
            const auto& log = m.commandLog();
            return std::any_of(log.begin(), log.end(),
                               [&text](const CommandRecord& r) { return r.text == text; });
        },
        timeout);
}

bool SimulatedModem::waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [this] { return queue_.empty() && input_.empty() && !modem_.hasActions(); });
}

} // namespace q86sim
