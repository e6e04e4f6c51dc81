// Line-status and break notices: one monitor thread per open port that has a callback.
//
// The lines are looked at every few milliseconds rather than through TIOCMIWAIT: that ioctl cannot be
// woken for SerialClose without a signal, and a LineControl installed for a device (the simulated
// modem) has no wait of its own.
#include "serial_port_table.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>

namespace seriallib::detail {

namespace {

constexpr int kMonitorPeriodMs = 10;

// The breaks a UART has counted; false when the device keeps no count (a pty).
bool breakCount(int fd, int* count) {
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    *count = ic.brk;
    return true;
}

// Calls the callback unless the port is closing; SerialClose joins this thread, so no notice can
// come after it returns.
void notify(OpenPort& p, SerialNotify OpenPort::*which) {
    SerialNotify callback;
    {
        std::lock_guard lock(p.monitorMutex);
        if (p.monitorStop)
            return;
        callback = p.*which;
    }
    if (callback)
        callback(p.number);
}

bool lineStatus(const OpenPort& p, int* status) {
    int bits = 0;
    if (!p.lines()->getLines(p.fd, &bits))
        return false;
    *status = lineStatusBits(bits);
    return true;
}

struct Baseline {
    bool haveLines = false;
    int lines = 0;
    bool haveBreaks = false;
    int breaks = 0;
};

void monitorLoop(std::shared_ptr<OpenPort> p, Baseline last) {
    const int fd = p->fd;
    for (;;) {
        pollfd wake{p->closeEvent, POLLIN, 0};
        ::poll(&wake, 1, kMonitorPeriodMs);
        {
            std::lock_guard lock(p->monitorMutex);
            if (p->monitorStop)
                return;
        }
        int lines = 0;
        if (lineStatus(*p, &lines)) {
            if (last.haveLines && lines != last.lines)
                notify(*p, &OpenPort::onLineChange);
            last.lines = lines;
            last.haveLines = true;
        }
        int breaks = 0;
        if (last.haveBreaks && breakCount(fd, &breaks) && breaks != last.breaks) {
            last.breaks = breaks;
            notify(*p, &OpenPort::onBreak);
        }
    }
}

int setCallback(int port, SerialNotify OpenPort::*which, SerialNotify callback) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    auto shared = sharedPort(port);
    if (!shared)
        return SerialErrNotOpen;
    std::lock_guard lock(shared->monitorMutex);
    (*shared).*which = std::move(callback);
    startMonitorLocked(shared);
    return 0;
}

} // namespace

void startMonitorLocked(const std::shared_ptr<OpenPort>& port) {
    if (port->monitor.joinable() || port->monitorStop)
        return;
    // Changes count from the moment the callback is registered.
    Baseline now;
    now.haveLines = lineStatus(*port, &now.lines);
    now.haveBreaks = breakCount(port->fd, &now.breaks);
    port->monitor = std::thread(monitorLoop, port, now);
}

void stopMonitor(OpenPort& port) {
    std::thread running;
    {
        std::lock_guard lock(port.monitorMutex);
        port.monitorStop = true;
        if (!port.monitor.joinable())
            return;
        if (port.monitor.get_id() == std::this_thread::get_id()) {
            port.monitor.detach(); // a callback closing its own port: the loop ends when it returns
            return;
        }
        running = std::move(port.monitor);
    }
    running.join();
}

} // namespace seriallib::detail

using namespace seriallib::detail;

int SerialOnLineStatusChange(int port, SerialNotify callback) {
    return setCallback(port, &OpenPort::onLineChange, std::move(callback));
}

int SerialOnBreak(int port, SerialNotify callback) {
    return setCallback(port, &OpenPort::onBreak, std::move(callback));
}

int SerialGetLineStatus(int port) {
    // Never negative: callers show the word on four lamps as it stands.
    PortCall call(port);
    if (!call)
        return 0;
    int bits = 0;
    if (!call->lines()->getLines(call->fd, &bits))
        return 0;
    return lineStatusBits(bits);
}
