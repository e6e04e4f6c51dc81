#include "tty_io.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace comm::tty {

namespace {

constexpr uint64_t kMaxMillis = 0x7FFFFFFFull; // about 24 days: beyond that means "no limit"

std::optional<Millis> saturated(uint64_t ms) {
    if (ms >= kMaxMillis)
        return std::nullopt;
    return Millis(ms);
}

enum class Wait { Ready, Timeout, Woken, Error };

// Waits for events on fd until the deadline (unset: for ever), or until wakeFd is readable.
Wait waitFor(int fd, short events, int wakeFd, std::optional<Clock::time_point> deadline) {
    for (;;) {
        int timeout = -1;
        if (deadline) {
            auto left = *deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return Wait::Timeout;
            // Round up: never wake before the deadline.
            auto ms = std::chrono::ceil<Millis>(left).count();
            timeout = static_cast<int>(std::min<int64_t>(ms, kMaxMillis));
        }
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int r = ::poll(fds, wakeFd >= 0 ? 2 : 1, timeout);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Error;
        }
        if (r == 0)
            continue; // the deadline check above decides
        if (wakeFd >= 0 && (fds[1].revents & POLLIN))
            return Wait::Woken;
        if (fds[0].revents & POLLNVAL) {
            errno = EBADF;
            return Wait::Error;
        }
        if (fds[0].revents & events)
            return Wait::Ready;
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            errno = EIO;
            return Wait::Error;
        }
    }
}

// Folds the outcome of a wait into the result; true when the read or write may go on.
bool mayGoOn(Wait wait, IoResult& result) {
    switch (wait) {
    case Wait::Ready:
        return true;
    case Wait::Timeout:
        return false;
    case Wait::Woken:
        result.woken = true;
        return false;
    case Wait::Error:
        result.failed = true;
        return false;
    }
    return false;
}

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

} // namespace

ReadPlan planFor(const CommTimeouts& t, uint32_t n) {
    ReadPlan plan;
    const uint32_t interval = t.ReadIntervalTimeout;
    const uint32_t multiplier = t.ReadTotalTimeoutMultiplier;
    const uint32_t constant = t.ReadTotalTimeoutConstant;
    if (interval == kMaxDword && multiplier == 0 && constant == 0) {
        plan.immediate = true;
        return plan;
    }
    if (interval == kMaxDword && multiplier == kMaxDword && constant > 0 && constant < kMaxDword) {
        plan.returnOnFirstChunk = true;
        plan.total = Millis(constant);
        return plan;
    }
    if (multiplier != 0 || constant != 0)
        plan.total = saturated(uint64_t(multiplier) * n + constant);
    if (interval != 0 && interval != kMaxDword)
        plan.interval = Millis(interval);
    return plan;
}

Millis quietGapFor(const TtyLineSettings& line) {
    constexpr uint64_t kCharacters = 3;
    const uint64_t bits = 1u + line.dataBits + (line.parity != 0 ? 1u : 0u) + line.stopBits;
    const uint64_t baud = std::max<uint32_t>(line.baud, 1);
    // Rounded up to whole ms: poll() waits no finer.
    const uint64_t ms = (kCharacters * bits * 1000 + baud - 1) / baud;
    return Millis(std::max<uint64_t>(ms, 1));
}

std::optional<Millis> writeLimitFor(const CommTimeouts& t, uint32_t n) {
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0)
        return std::nullopt;
    return saturated(uint64_t(t.WriteTotalTimeoutMultiplier) * n + t.WriteTotalTimeoutConstant);
}

IoResult readPlanned(int fd, void* buffer, size_t n, const ReadPlan& plan, int wakeFd) {
    IoResult result;
    auto* out = static_cast<unsigned char*>(buffer);
    const auto start = Clock::now();
    std::optional<Clock::time_point> totalEnd, firstAt, lastAt;
    if (plan.total)
        totalEnd = start + *plan.total;
    while (result.count < n) {
        ssize_t r = ::read(fd, out + result.count, n - result.count);
        if (r > 0) {
            result.count += static_cast<size_t>(r);
            lastAt = Clock::now();
            if (!firstAt)
                firstAt = lastAt;
            continue; // take what else is buffered before deciding
        }
        if (r == 0) { // a tty read of 0 in raw mode is a hang-up
            errno = EIO;
            result.failed = true;
            return result;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN) {
            result.failed = true;
            return result;
        }
        if (plan.immediate || (result.count > 0 && plan.returnOnFirstChunk))
            return result;
        std::optional<Clock::time_point> wakeAt = totalEnd;
        if (!firstAt && plan.firstByte)
            wakeAt = earliest(wakeAt, start + *plan.firstByte);
        if (firstAt) {
            if (plan.interval)
                wakeAt = earliest(wakeAt, *lastAt + *plan.interval);
            if (plan.collect)
                wakeAt = earliest(wakeAt, *firstAt + *plan.collect);
        }
        if (!mayGoOn(waitFor(fd, POLLIN, wakeFd, wakeAt), result))
            return result;
    }
    return result;
}

IoResult writeLimited(int fd, const void* buffer, size_t n, std::optional<Millis> limit, int wakeFd) {
    IoResult result;
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::optional<Clock::time_point> end;
    if (limit)
        end = Clock::now() + *limit;
    while (result.count < n) {
        ssize_t r = ::write(fd, in + result.count, n - result.count);
        if (r > 0) {
            result.count += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno != EAGAIN) {
            result.failed = true;
            return result;
        }
        if (!mayGoOn(waitFor(fd, POLLOUT, wakeFd, end), result))
            return result;
    }
    return result;
}

} // namespace comm::tty

namespace comm::tty {

bool drainOutput(int fd, std::optional<Millis> limit, int wakeFd) {
    const auto end = limit ? std::optional(Clock::now() + *limit) : std::nullopt;
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return true;
        if (end && Clock::now() >= *end)
            return false;
        // The queue gives no wake-up when it empties: look again shortly.
        pollfd p{wakeFd, POLLIN, 0};
        if (::poll(&p, wakeFd >= 0 ? 1 : 0, 2) > 0)
            return false;
    }
}

} // namespace comm::tty
