// Opening and closing ports, reads and writes with the library's time-outs, flush, and the byte
// channel that transfers run over.
#include "serial_port_table.h"
#include "serial_unread.h"

#include "tty_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace seriallib::detail {

namespace {

using comm::tty::Millis;

comm::tty::ReadPlan readPlanOf(int firstByteMs, int collectMs, const comm::TtyLineSettings& line) {
    comm::tty::ReadPlan plan;
    if (firstByteMs <= 0) {
        plan.immediate = true;
        return plan;
    }
    plan.firstByte = Millis(firstByteMs);
    if (collectMs == 0) {
        plan.returnOnFirstChunk = true;
    } else {
        plan.collect = Millis(collectMs);
        plan.interval = comm::tty::quietGapFor(line);
    }
    return plan;
}

void clearEvent(int fd) {
    uint64_t count;
    while (::read(fd, &count, sizeof count) > 0) {
    }
}

// Moves up to size handed-back bytes into buffer; how many.
size_t takeUnread(OpenPort& port, uint8_t* buffer, size_t size) {
    std::lock_guard lock(port.unreadMutex);
    const size_t n = std::min(size, port.unread.size());
    if (n > 0) {
        std::memcpy(buffer, port.unread.data(), n);
        port.unread.erase(0, n);
    }
    return n;
}

void dropUnread(OpenPort& port) {
    std::lock_guard lock(port.unreadMutex);
    port.unread.clear();
}

Millis until(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    return left > Clock::duration::zero() ? std::chrono::ceil<Millis>(left) : Millis(0);
}

class PortByteChannel : public ByteChannel {
public:
    explicit PortByteChannel(OpenPort& port) : port_(port) {}

    int read(uint8_t* buffer, size_t size, Clock::time_point deadline) override {
        if (closing())
            return -1;
        if (size == 0)
            return 0;
        std::lock_guard lock(port_.readMutex);
        if (const size_t handed = takeUnread(port_, buffer, size))
            return static_cast<int>(handed);
        // Bytes that are there cost one read: a transfer reads again soon enough, and the
        // planned read would look once more for what else has come.
        const ssize_t got = ::read(port_.fd, buffer, size);
        if (got > 0)
            return static_cast<int>(got);
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            return -1; // a hang-up or an I/O error
        comm::tty::ReadPlan plan;
        plan.returnOnFirstChunk = true;
        plan.total = until(deadline);
        // An abort request ends the wait at once, so the transfer sees it without waiting out its
        // deadline; the transfer then writes its cancel sequence, which the abort does not stop.
        if (port_.abort.transmit || port_.abort.receive)
            plan.immediate = true;
        auto r = comm::tty::readPlanned(port_.fd, buffer, size, plan, port_.abortEvent);
        if (r.failed || (r.woken && closing()))
            return -1;
        return static_cast<int>(r.count);
    }

    int write(const uint8_t* buffer, size_t size, Clock::time_point deadline) override {
        if (closing())
            return -1;
        std::lock_guard lock(port_.writeMutex);
        auto r = comm::tty::writeLimited(port_.fd, buffer, size, until(deadline), port_.closeEvent);
        if (r.failed || r.woken)
            return -1;
        return static_cast<int>(r.count);
    }

    void purgeInput() override {
        dropUnread(port_);
        ::tcflush(port_.fd, TCIFLUSH);
    }

    void drainOutput(Clock::time_point deadline) override {
        std::lock_guard lock(port_.writeMutex);
        comm::tty::drainOutput(port_.fd, until(deadline), port_.closeEvent);
    }

private:
    bool closing() {
        std::lock_guard lock(port_.callMutex);
        return port_.closing;
    }

    OpenPort& port_;
};

} // namespace

} // namespace seriallib::detail

using namespace seriallib::detail;

int SerialOpen(int port) {
    return openPort(port);
}

int SerialClose(int port) {
    return closePort(port);
}

int SerialRead(int port, void* buffer, int size) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (size < 0)
        return SerialErrBadParam;
    if (!buffer)
        return SerialErrNoData;
    if (size == 0)
        return 0;
    comm::tty::ReadPlan plan;
    {
        std::lock_guard lock(call->stateMutex);
        plan = readPlanOf(call->firstByteMs, call->collectMs, call->line);
    }
    std::lock_guard lock(call->readMutex);
    if (const size_t handed = takeUnread(*call, static_cast<uint8_t*>(buffer), size_t(size)))
        return static_cast<int>(handed);
    auto r = comm::tty::readPlanned(call->fd, buffer, size_t(size), plan, call->closeEvent);
    if (r.failed)
        return r.count ? int(r.count) : SerialErrSystem;
    if (r.woken && r.count == 0)
        return SerialErrNotOpen; // closed under the read
    return static_cast<int>(r.count);
}

namespace {

// Write time-out 0: no time-out. The write goes on until everything is written, the port closes or
// SerialAbortTransmit is called. It looks for an abort before every piece it hands to the driver, so
// nothing follows the abort's flush, and an abort never lingers to cut a later write short.
comm::tty::IoResult writeUntilDone(OpenPort& port, const uint8_t* buffer, size_t length) {
    const unsigned aborts = port.transmitAborts;
    comm::tty::IoResult total;
    while (total.count < length && port.transmitAborts == aborts) {
        auto r = comm::tty::writeLimited(port.fd, buffer + total.count, length - total.count, Millis(0),
                                         port.closeEvent);
        total.count += r.count;
        total.failed = r.failed;
        total.woken = r.woken;
        if (r.failed || r.woken || total.count == length)
            break;
        pollfd p[2] = {{port.fd, POLLOUT, 0}, {port.closeEvent, POLLIN, 0}};
        if (::poll(p, 2, 10) > 0 && (p[1].revents & POLLIN)) {
            total.woken = true;
            break;
        }
    }
    return total;
}

} // namespace

int SerialWrite(int port, const void* buffer, int length) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (length < 0)
        return SerialErrBadParam;
    if (!buffer)
        return SerialErrNoData;
    int timeoutMs;
    {
        std::lock_guard lock(call->stateMutex);
        timeoutMs = call->writeTimeoutMs;
    }
    comm::tty::IoResult r;
    if (timeoutMs == 0) {
        std::lock_guard lock(call->writeMutex);
        r = writeUntilDone(*call, static_cast<const uint8_t*>(buffer), size_t(length));
    } else {
        // Another thread's long write counts against this write's time-out too.
        std::unique_lock lock(call->writeMutex, std::defer_lock);
        if (!lock.try_lock_for(Millis(timeoutMs)))
            return 0;
        r = comm::tty::writeLimited(call->fd, buffer, size_t(length), Millis(timeoutMs), call->closeEvent);
    }
    if (r.failed && r.count == 0)
        return SerialErrSystem;
    if (r.woken && r.count == 0)
        return SerialErrNotOpen;
    return static_cast<int>(r.count);
}

int SerialFlush(int port, int which) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (which < 0 || which > 2)
        return SerialErrBadParam;
    if (which >= 1) {
        // Queued output is let out, never thrown away: a command just written must reach the modem.
        int timeoutMs;
        {
            std::lock_guard lock(call->stateMutex);
            timeoutMs = call->writeTimeoutMs;
        }
        std::lock_guard lock(call->writeMutex);
        comm::tty::drainOutput(call->fd, Millis(timeoutMs), call->closeEvent);
    }
    if (which != 1) {
        dropUnread(*call);
        if (::tcflush(call->fd, TCIFLUSH) != 0)
            return SerialErrSystem;
    }
    return 0;
}

int SerialUnread(int port, const void* bytes, int length) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (length < 0)
        return SerialErrBadParam;
    if (!bytes)
        return SerialErrNoData;
    std::lock_guard lock(call->unreadMutex);
    call->unread.insert(0, static_cast<const char*>(bytes), size_t(length));
    return 0;
}

int SerialSetReadTimeouts(int port, int firstByteMs, int collectMs) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (firstByteMs < -1 || collectMs < 0)
        return SerialErrBadParam;
    std::lock_guard lock(call->stateMutex);
    call->firstByteMs = firstByteMs;
    call->collectMs = collectMs;
    return 0;
}

int SerialSetWriteTimeout(int port, int ms) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (ms < 0)
        return SerialErrBadParam;
    std::lock_guard lock(call->stateMutex);
    call->writeTimeoutMs = ms;
    return 0;
}

int SerialGetWriteTimeout(int port, int* ms) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    if (!ms)
        return SerialErrBadParam;
    std::lock_guard lock(call->stateMutex);
    *ms = call->writeTimeoutMs;
    return 0;
}

namespace {

int requestAbort(int port, std::atomic<bool> seriallib::PortAbort::*flag) {
    PortCall call(port);
    if (!call)
        return SerialErrNotOpen;
    (call->abort.*flag) = true;
    call->signalAbort();
    return 0;
}

} // namespace

int SerialAbortTransmit(int port) {
    {
        // Output still queued is dropped and a write blocked without a time-out returns.
        PortCall call(port);
        if (call) {
            ++call->transmitAborts;
            ::tcflush(call->fd, TCOFLUSH);
        }
    }
    return requestAbort(port, &seriallib::PortAbort::transmit);
}

int SerialAbortReceive(int port) {
    return requestAbort(port, &seriallib::PortAbort::receive);
}

int seriallib::withPortChannel(int port,
                               const std::function<int(ByteChannel& channel, PortAbort& abort)>& fn) {
    PortCall call(port);
    if (!call)
        return TransferErrNotOpen;
    call->abort.transmit = false;
    call->abort.receive = false;
    clearEvent(call->abortEvent);
    PortByteChannel channel(*call);
    const int result = fn(channel, call->abort);
    // What the transfer left of a hand-back belonged to it, not to the next reader.
    dropUnread(*call);
    return result;
}
