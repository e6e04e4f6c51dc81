#pragma once
// A pty standing in for COM5 (and COM6 naming the same device) through a temporary port map.

#include "pty_pair.h"
#include "seriallib.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace porttest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kPort = 5;
constexpr int kSameDevice = 6;
constexpr int kMissing = 7;
constexpr int kPlainFile = 8;

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

inline int pending(int fd) {
    int n = 0;
    ::ioctl(fd, FIONREAD, &n);
    return n;
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/portlib-XXXXXX";
        ASSERT_TRUE(::mkdtemp(dir));
        dir_ = dir;
        map_ = dir_ + "/ports.conf";
        plain_ = dir_ + "/plain";
        std::ofstream(plain_) << "x";
        std::ofstream(map_) << "COM" << kPort << "=" << pty.slavePath() << "\nCOM" << kSameDevice << "="
                            << pty.slavePath() << "\nCOM" << kMissing << "=/nonexistent/tty\nCOM"
                            << kPlainFile << "=" << plain_ << "\n";
        ::setenv("BREL_PORT_MAP", map_.c_str(), 1);
    }
    void TearDown() override {
        for (int p : {kPort, kSameDevice})
            SerialClose(p);
        ::unsetenv("BREL_PORT_MAP");
        std::remove(map_.c_str());
        std::remove(plain_.c_str());
        ::rmdir(dir_.c_str());
    }
    void open() { ASSERT_EQ(SerialOpen(kPort), 0); }
    std::string readPort(int size) {
        std::string buf(size_t(size), '\0');
        int n = SerialRead(kPort, buf.data(), size);
        buf.resize(n > 0 ? size_t(n) : 0);
        return buf;
    }

    comm::PtyPair pty;
    std::string dir_, map_, plain_;
};

} // namespace porttest
