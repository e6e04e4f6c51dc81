// How our XMODEM and YMODEM senders end against lrzsz's rx and rb, with the line still open after the
// receiver has gone, as a board's shell keeps it: rx acknowledges the first EOT after a pause and
// leaves, rb closes the batch and leaves, and either may lose its last answer as it flushes the line.
// The sender's result comes soon after the receiver's exit, and no byte of ours is left for the shell.

#include "xmodem.h"
#include "xmodem_interop_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

using namespace seriallib;
using namespace transfer_test;
using namespace interop;

namespace {

struct EndCase {
    const char* what;
    std::vector<std::string> argv;
    bool ymodem;
    XmodemVariant variant;
    size_t size;
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.what;
}

const EndCase endCases[] = {
    {"XMODEM checksum to rx", {"/usr/bin/rx", "data.bin"}, false, XmodemVariant::Checksum, 3000},
    {"XMODEM CRC to rx", {"/usr/bin/rx", "-c", "data.bin"}, false, XmodemVariant::Crc, 3000},
    {"XMODEM 1K to rx", {"/usr/bin/rx", "-c", "data.bin"}, false, XmodemVariant::OneK, 5000},
    {"XMODEM 1K empty file to rx", {"/usr/bin/rx", "-c", "data.bin"}, false, XmodemVariant::OneK, 0},
    {"YMODEM to rb", {"/usr/bin/rb"}, true, XmodemVariant::OneK, 5000},
};

class LrzszEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(LrzszEnd, SenderEndsSoonAfterTheReceiverAndLeavesNothingBehind) {
    const EndCase& c = GetParam();
    ScratchDir ours, theirs;
    auto data = testData(c.size);
    writeFile(ours.file("data.bin"), data);
    comm::PtyPair pty;
    // What reads the line once the receiver has gone; holding it also keeps the line from hanging up.
    const int shell = ::dup(pty.slave());
    ASSERT_GE(shell, 0);
    // Raw, so that an EOT left on the line reads as a byte; rx puts the mode it found back as it leaves.
    termios raw{};
    ::tcgetattr(shell, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(shell, TCSANOW, &raw);
    FdChannel line(pty.master());
    TransferContext ctx(line, nullptr, {}, peerTimings());
    PeerProcess peer(pty, theirs.path(), c.argv);
    Clock::time_point sentAt;
    auto sender = runAsync([&] {
        const int r = c.ymodem ? ymodemSend(ctx, ours.file("data.bin"))
                               : xmodemSend(ctx, ours.file("data.bin"), c.variant);
        sentAt = Clock::now();
        return r;
    });
    const int status = peer.wait(30s);
    const auto exitedAt = Clock::now();
    ASSERT_TRUE(ready(sender, 30s));
    const int result = sender.get();
    const double late = std::chrono::duration<double>(sentAt - exitedAt).count();
    std::printf("%s: result %d, %.3f s after the receiver's exit (status %d)\n", c.what, result, late,
                status);
    EXPECT_LT(sentAt - exitedAt, 2s) << peer.log();
    // An empty file is confirmed only by the answer to its EOT, which rx may lose as it leaves.
    if (c.size == 0) {
        EXPECT_TRUE(result == 0 || result == TransferErrTimeout) << result;
    } else {
        EXPECT_EQ(result, 0) << peer.log();
        const auto got = readFile(theirs.file("data.bin"));
        if (c.ymodem) {
            EXPECT_EQ(got, data);
        } else {
            expectPadded(got, data);
        }
    }
    // Whatever reached the line after the receiver's exit waits for the shell.
    ::fcntl(shell, F_SETFL, O_NONBLOCK);
    uint8_t stray[64];
    const ssize_t n = ::read(shell, stray, sizeof stray);
    EXPECT_LE(n, 0) << "first stray byte " << int(stray[0]);
    ::close(shell);
}

INSTANTIATE_TEST_SUITE_P(Peers, LrzszEnd, ::testing::ValuesIn(endCases),
                         [](const ::testing::TestParamInfo<EndCase>& info) {
                             return rowName(info.param.what);
                         });

} // namespace
