#include "fd_channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace seriallib;
using namespace std::chrono_literals;

namespace {

struct Pty {
    int master = -1, slave = -1;
    Pty() {
        EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
};

TEST(FdChannel, CarriesEveryByteValueBothWaysOverAPty) {
    Pty pty;
    FdChannel m(pty.master), s(pty.slave);
    uint8_t all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    for (auto [from, to] : {std::pair<ByteChannel*, ByteChannel*>{&m, &s}, {&s, &m}}) {
        ASSERT_EQ(from->write(all, 256, Clock::now() + 1s), 256);
        uint8_t got[256];
        size_t n = 0;
        while (n < 256) {
            int r = to->read(got + n, 256 - n, Clock::now() + 1s);
            ASSERT_GT(r, 0);
            n += static_cast<size_t>(r);
        }
        EXPECT_EQ(0, memcmp(all, got, 256));
    }
}

TEST(FdChannel, ReadWaitsUntilTheDeadline) {
    Pty pty;
    FdChannel m(pty.master);
    uint8_t b;
    auto start = Clock::now();
    EXPECT_EQ(m.read(&b, 1, start + 50ms), 0);
    EXPECT_GE(Clock::now() - start, 50ms);
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(FdChannel, HangUpOfTheOtherEndFails) {
    Pty pty;
    FdChannel m(pty.master);
    close(pty.slave);
    pty.slave = -1;
    uint8_t b;
    auto start = Clock::now();
    EXPECT_EQ(m.read(&b, 1, start + 2s), -1);
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(FdChannel, PurgeDropsWhatArrivedOnEitherSide) {
    Pty pty;
    FdChannel m(pty.master), s(pty.slave);
    const uint8_t junk[] = {1, 2, 3};
    for (auto [from, to] : {std::pair<ByteChannel*, ByteChannel*>{&m, &s}, {&s, &m}}) {
        from->write(junk, 3, Clock::now() + 1s);
        // Let the bytes cross before purging them.
        pollfd p{to == &m ? pty.master : pty.slave, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 1000), 1);
        to->purgeInput();
        uint8_t b;
        EXPECT_EQ(to->read(&b, 1, Clock::now() + 30ms), 0);
    }
}

} // namespace
