#include "serial_port_table.h"

#include "port_map.h"
#include "tty_device.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace seriallib::detail {

namespace {

struct Table {
    std::mutex mutex;
    std::array<std::shared_ptr<OpenPort>, portmap::kMaxPort + 1> ports;
    // A program ending with ports open: no monitor thread may outlive the table.
    ~Table() {
        for (auto& p : ports)
            if (p) {
                p->signalClosing();
                stopMonitor(*p);
            }
    }
};

Table& table() {
    static Table t;
    return t;
}

// The ports this thread is inside a call on (a transfer or callback may close its own port).
thread_local std::vector<const OpenPort*> callsOfThisThread;

int ownCalls(const OpenPort* p) {
    return static_cast<int>(std::count(callsOfThisThread.begin(), callsOfThisThread.end(), p));
}

void raiseEvent(int fd) {
    uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

} // namespace

OpenPort::OpenPort(int number_, int fd_, std::string path_)
    : number(number_), fd(fd_), path(std::move(path_)) {
    closeEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    abortEvent = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

OpenPort::~OpenPort() {
    comm::tty::closeExclusive(fd);
    for (int e : {closeEvent, abortEvent})
        if (e >= 0)
            ::close(e);
}

std::shared_ptr<comm::LineControl> OpenPort::lines() const {
    return comm::lineControlFor(path);
}

void OpenPort::signalClosing() {
    {
        std::lock_guard lock(callMutex);
        closing = true;
    }
    raiseEvent(closeEvent);
    raiseEvent(abortEvent);
}

void OpenPort::signalAbort() {
    raiseEvent(abortEvent);
}

PortCall::PortCall(int port) {
    auto p = sharedPort(port);
    if (!p)
        return;
    std::lock_guard lock(p->callMutex);
    if (p->closing)
        return;
    ++p->activeCalls;
    port_ = std::move(p);
    callsOfThisThread.push_back(port_.get());
}

PortCall::~PortCall() {
    if (!port_)
        return;
    auto it = std::find(callsOfThisThread.rbegin(), callsOfThisThread.rend(), port_.get());
    if (it != callsOfThisThread.rend())
        callsOfThisThread.erase(std::next(it).base());
    std::lock_guard lock(port_->callMutex);
    --port_->activeCalls;
    port_->idle.notify_all();
}

std::shared_ptr<OpenPort> sharedPort(int port) {
    if (port < portmap::kMinPort || port > portmap::kMaxPort)
        return nullptr;
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.ports[port];
}

int lineStatusBits(int bits) {
    int status = 0;
    if (bits & TIOCM_CTS)
        status |= SerialLineCts;
    if (bits & TIOCM_DSR)
        status |= SerialLineDsr;
    if (bits & TIOCM_RNG)
        status |= SerialLineRing;
    if (bits & TIOCM_CAR)
        status |= SerialLineDcd;
    return status;
}

int openPort(int port) {
    if (port < portmap::kMinPort || port > portmap::kMaxPort)
        return SerialErrNotOpen;
    Table& t = table();
    std::lock_guard lock(t.mutex); // one open at a time: two opens of one number cannot both win
    if (t.ports[port])
        return SerialErrOccupied; // never shared, not even within one program
    std::string path = portmap::PortMap().devicePath(port);
    int fd = comm::tty::openExclusive(path);
    if (fd < 0) {
        switch (errno) {
        case EBUSY:
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EWOULDBLOCK:
            return SerialErrOccupied;
        case ENOTTY:
            return SerialErrNotBoard;
        default:
            return SerialErrSystem;
        }
    }
    auto p = std::make_shared<OpenPort>(port, fd, canonical(path));
    if (p->closeEvent < 0 || p->abortEvent < 0)
        return SerialErrSystem; // the destructor closes what was opened
    if (!comm::tty::readLineSettings(fd, &p->line))
        return SerialErrSystem;
    // A port opens with DTR and RTS raised; a device without lines ignores this.
    p->lines()->setLines(fd, TIOCM_DTR | TIOCM_RTS, 0);
    t.ports[port] = std::move(p);
    return 0;
}

int closePort(int port) {
    std::shared_ptr<OpenPort> p;
    {
        Table& t = table();
        if (port < portmap::kMinPort || port > portmap::kMaxPort)
            return SerialErrNotOpen;
        std::lock_guard lock(t.mutex);
        p = std::move(t.ports[port]);
    }
    if (!p)
        return SerialErrNotOpen;
    p->signalClosing();
    stopMonitor(*p);
    bool monitorGone;
    {
        std::lock_guard lock(p->monitorMutex);
        monitorGone = !p->monitor.joinable();
    }
    const int mine = ownCalls(p.get());
    std::unique_lock lock(p->callMutex);
    p->idle.wait(lock, [&] { return p->activeCalls <= mine; });
    // Nobody else is inside a call now: release the device at once so that it can be reopened.
    // A call of this very thread still under way keeps it until the last reference goes.
    if (mine == 0 && monitorGone) {
        comm::tty::closeExclusive(p->fd);
        p->fd = -1;
    }
    return 0;
}

} // namespace seriallib::detail
