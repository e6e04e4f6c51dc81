#include "pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

std::string readSome(int fd, size_t want) {
    std::string got;
    while (got.size() < want) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        char buf[256];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    return got;
}

} // namespace

TEST(PtyPair, RawBothWaysAndEightBitClean) {
    comm::PtyPair pty;
    ASSERT_GE(pty.master(), 0);
    ASSERT_EQ(pty.slavePath().rfind("/dev/pts/", 0), 0u) << pty.slavePath();
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    ASSERT_EQ(::write(pty.master(), all.data(), all.size()), 256);
    EXPECT_EQ(readSome(pty.slave(), 256), all); // no CR/LF mapping, no signals, no line editing
    ASSERT_EQ(::write(pty.slave(), "a\nb\r", 4), 4);
    EXPECT_EQ(readSome(pty.master(), 4), "a\nb\r"); // no echo came back before, no output mapping
    EXPECT_EQ(::fcntl(pty.master(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

TEST(PtyPair, SlavePathOpensTheSameLineAndMoveKeepsIt) {
    comm::PtyPair first;
    comm::PtyPair pty(std::move(first));
    EXPECT_EQ(first.master(), -1);
    int fd = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "xyz", 3), 3);
    EXPECT_EQ(readSome(pty.master(), 3), "xyz");
    ::close(fd);
    pty.closeSlave();
    pollfd p{pty.master(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & POLLHUP); // last slave gone: the master sees the hang-up
}
