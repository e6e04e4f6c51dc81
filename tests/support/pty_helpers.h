#pragma once
// Bytes in and out of the far end of a pty, and waiting on a condition with a deadline, for the tests
// of the comm port and the serial library.

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace ptytest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline long msSince(Clock::time_point t) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

inline bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 2000ms) {
    auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

inline void put(int fd, const std::string& s) {
    ASSERT_EQ(::write(fd, s.data(), s.size()), ssize_t(s.size()));
}

// Up to want bytes, or what came before the time ran out.
inline std::string take(int fd, size_t want, int timeoutMs = 2000) {
    std::string got;
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < want && Clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char buf[4096];
        ssize_t n = ::read(fd, buf, std::min(sizeof buf, want - got.size()));
        if (n <= 0)
            break;
        got.append(buf, size_t(n));
    }
    return got;
}

// Unread bytes waiting on fd.
inline int pending(int fd) {
    int n = 0;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

} // namespace ptytest
