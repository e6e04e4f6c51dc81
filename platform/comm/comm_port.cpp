#include "comm_port.h"

#include "line_control.h"
#include "tty_device.h"
#include "tty_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <sys/ioctl.h>
#include <termios.h>

namespace comm {

namespace {

// A new port never waits without bound: a framing failure at open must not leave a read that
// blocks for ever.
constexpr CommTimeouts kDefaultTimeouts{50, 10, 1000, 10, 1000};

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

TtyLineSettings lineSettingsOf(const Dcb& dcb) {
    TtyLineSettings s;
    s.baud = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.stopBits = dcb.StopBits == OneStopBit ? 1 : 2;
    s.rtsCts = dcb.fOutxCtsFlow;
    s.xonXoff = dcb.fOutX || dcb.fInX;
    return s;
}

class TtyPort : public Port {
public:
    TtyPort(int fd, std::string devicePath) : fd_(fd), devicePath_(std::move(devicePath)) {}
    ~TtyPort() override { tty::closeExclusive(fd_); }

    bool getState(Dcb& dcb) override {
        std::lock_guard lock(mutex_);
        if (!dcb_ && !deriveState())
            return false;
        dcb = *dcb_;
        return true;
    }

    bool setState(const Dcb& dcb) override {
        std::lock_guard lock(mutex_);
        // 1.5 stop bits exist only with 5 data bits; termios gives them through CSTOPB there.
        if (dcb.StopBits > TwoStopBits || (dcb.StopBits == One5StopBits && dcb.ByteSize != 5) ||
            dcb.fDtrControl > LineToggle || dcb.fRtsControl > LineToggle) {
            errno = EINVAL;
            return false;
        }
        TtyLineSettings settings = lineSettingsOf(dcb);
        if (tty::applyLineSettings(fd_, settings, dcb.fParity) != tty::ApplyResult::Ok)
            return false;
        auto control = lineControlFor(devicePath_);
        int raise = 0, drop = 0;
        (dcb.fDtrControl == LineDisable ? drop : raise) |= TIOCM_DTR;
        // With CRTSCTS the driver owns RTS.
        if (!dcb.fOutxCtsFlow)
            (dcb.fRtsControl == LineDisable ? drop : raise) |= TIOCM_RTS;
        if (!control->setLines(fd_, raise, drop))
            return false;
        dcb_ = dcb;
        control->settingsApplied(fd_, settings);
        return true;
    }

    bool getTimeouts(CommTimeouts& t) override {
        std::lock_guard lock(mutex_);
        t = timeouts_;
        return true;
    }

    bool setTimeouts(const CommTimeouts& t) override {
        std::lock_guard lock(mutex_);
        timeouts_ = t;
        return true;
    }

    bool purge(uint32_t flags) override {
        // Only received data is ever discarded: flushing output on a pty races with delivery and
        // would lose a command just written.
        if (flags & (PurgeRxClear | PurgeRxAbort))
            return ::tcflush(fd_, TCIFLUSH) == 0;
        return true;
    }

    bool read(void* buffer, uint32_t size, uint32_t* got) override {
        CommTimeouts t;
        getTimeouts(t);
        auto r = tty::readPlanned(fd_, buffer, size, tty::planFor(t, size));
        if (got)
            *got = static_cast<uint32_t>(r.count);
        return !r.failed;
    }

    bool write(const void* buffer, uint32_t size, uint32_t* written) override {
        CommTimeouts t;
        getTimeouts(t);
        auto r = tty::writeLimited(fd_, buffer, size, tty::writeLimitFor(t, size));
        if (written)
            *written = static_cast<uint32_t>(r.count);
        return !r.failed;
    }

    bool getModemStatus(uint32_t* status) override {
        int bits = 0;
        if (!lineControlFor(devicePath_)->getLines(fd_, &bits))
            return false;
        uint32_t s = 0;
        if (bits & TIOCM_CTS)
            s |= MsCtsOn;
        if (bits & TIOCM_DSR)
            s |= MsDsrOn;
        if (bits & TIOCM_RNG)
            s |= MsRingOn;
        if (bits & TIOCM_CAR)
            s |= MsRlsdOn;
        *status = s;
        return true;
    }

private:
    bool deriveState() {
        TtyLineSettings now;
        bool parityCheck = false;
        if (!tty::readLineSettings(fd_, &now, &parityCheck))
            return false;
        Dcb dcb;
        dcb.BaudRate = now.baud;
        dcb.ByteSize = now.dataBits;
        dcb.Parity = now.parity;
        dcb.StopBits = now.stopBits == 2 ? TwoStopBits : OneStopBit;
        dcb.fParity = parityCheck;
        dcb.fOutxCtsFlow = now.rtsCts;
        termios t{};
        if (::tcgetattr(fd_, &t) == 0) {
            dcb.fOutX = (t.c_iflag & IXON) != 0;
            dcb.fInX = (t.c_iflag & IXOFF) != 0;
        }
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) == 0) {
            dcb.fDtrControl = (bits & TIOCM_DTR) ? LineEnable : LineDisable;
            dcb.fRtsControl = (bits & TIOCM_RTS) ? (now.rtsCts ? LineHandshake : LineEnable) : LineDisable;
        }
        dcb_ = dcb;
        return true;
    }

    const int fd_;
    const std::string devicePath_;
    std::mutex mutex_;
    std::optional<Dcb> dcb_;
    CommTimeouts timeouts_ = kDefaultTimeouts;
};

std::mutex& openerMutex() {
    static std::mutex m;
    return m;
}

PortOpener& installedOpener() {
    static PortOpener opener;
    return opener;
}

} // namespace

std::unique_ptr<Port> openPort(const std::string& name) {
    PortOpener opener;
    {
        std::lock_guard lock(openerMutex());
        opener = installedOpener();
    }
    if (opener)
        return opener(name);
    std::string path = tty::devicePathFor(name);
    if (path.empty())
        return nullptr;
    int fd = tty::openExclusive(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<TtyPort>(fd, canonical(path));
}

void setPortOpener(PortOpener opener) {
    std::lock_guard lock(openerMutex());
    installedOpener() = std::move(opener);
}

} // namespace comm
