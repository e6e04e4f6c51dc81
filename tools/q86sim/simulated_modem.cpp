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
    : modem_(std::move(scenario), 0), scheduler_(modem_, *this), lines_(std::make_shared<Lines>()) {}

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
        scheduler_.takeActions();
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

bool SimulatedModem::applicationMatches(const LineSetting& wire) {
    termios t{};
    if (::tcgetattr(pty_->master(), &t) != 0) {
        return false;
    }
    LineSetting app = wire;
    app.baud = rateOf(cfgetospeed(&t));
    app.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    // Data bits and parity come from the application's port layer in this process; a pty drops them.
    if (auto applied = lines_->appliedSettings(); applied && applied->baud == app.baud) {
        app.dataBits = applied->dataBits;
        app.parity = applied->parity;
    }
    return app == wire;
}

std::optional<std::size_t> SimulatedModem::deliver(std::string_view bytes) {
    const ssize_t n = ::write(pty_->master(), bytes.data(), bytes.size());
    if (n < 0) {
        if (errno == EAGAIN) {
            return std::nullopt; // the application is not reading
        }
        return bytes.size(); // no reader at all: the bytes are lost on the line
    }
    sent_ += static_cast<std::size_t>(n);
    return static_cast<std::size_t>(n);
}

void SimulatedModem::setDcd(bool on) {
    lines_->dcd = on;
    lines_->share();
}

void SimulatedModem::setCts(bool on) {
    lines_->cts = on;
    lines_->share();
}

void SimulatedModem::run() {
    const int64_t origin = steadyUs();
    const int master = pty_->master();
    char buf[4096];
    while (!stopping_) {
        int64_t now = steadyUs() - origin;
        int64_t next = 0;
        {
            std::lock_guard lock(mutex_);
            next = scheduler_.nextEventUs(now);
        }
        const int64_t wait = std::clamp<int64_t>(next - now, 0, 100'000);
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
                scheduler_.lineIn(std::string_view(buf, static_cast<std::size_t>(n)), now);
            }
        } else if (listening && (fds[0].revents & (POLLHUP | POLLERR))) {
            hangupUntilUs_ = now + 20'000;
        }
        {
            std::lock_guard lock(mutex_);
            scheduler_.step(now);
        }
        changed_.notify_all();
    }
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
    return scheduler_.wire();
}

std::size_t SimulatedModem::ignoredBytes() const {
    std::lock_guard lock(mutex_);
    return scheduler_.ignoredBytes();
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
    return changed_.wait_for(lock, timeout, [this] { return scheduler_.idle(); });
}

} // namespace q86sim
