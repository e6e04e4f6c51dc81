// Stopping our side mid-transfer: lrzsz sees the cancel sequence and gives up at once, and no
// partial file of ours is left.

#include "xmodem.h"
#include "xmodem_interop_support.h"

#include <gtest/gtest.h>

using namespace seriallib;
using namespace transfer_test;
using namespace interop;

namespace {

struct AbortCase {
    const char* what;
    std::vector<std::string> argv;
    bool weSend;
    bool ymodem;
};

void PrintTo(const AbortCase& c, std::ostream* os) {
    *os << c.what;
}

const AbortCase abortCases[] = {
    {"our XMODEM send to rx -c", {"/usr/bin/rx", "-c", "data.bin"}, true, false},
    {"our XMODEM receive from sx -k", {"/usr/bin/sx", "-k"}, false, false},
    {"our YMODEM send to rb", {"/usr/bin/rb"}, true, true},
    {"our YMODEM receive from sb", {"/usr/bin/sb"}, false, true},
};

class LrzszAbort : public ::testing::TestWithParam<AbortCase> {};

TEST_P(LrzszAbort, StoppedTransferCancelsThePeer) {
    const AbortCase& c = GetParam();
    ScratchDir ours, theirs, folder;
    auto data = testData(512 * 1024);
    writeFile(ours.file("data.bin"), data);
    auto argv = c.argv;
    if (!c.weSend) {
        writeFile(theirs.file("data.bin"), data);
        argv.push_back(theirs.file("data.bin"));
    }
    comm::PtyPair pty;
    FdChannel line(pty.master());
    // Stop once some data has gone through.
    TransferContext ctx(
        line, nullptr, [](int done, int, int, int) { return done >= 16 * 1024 ? -1 : 0; }, peerTimings());
    PeerProcess peer(pty, theirs.path(), argv);
    int result = c.weSend ? (c.ymodem ? ymodemSend(ctx, ours.file("data.bin"))
                                      : xmodemSend(ctx, ours.file("data.bin"), XmodemVariant::OneK))
                          : (c.ymodem ? ymodemReceive(ctx, folder.path())
                                      : xmodemReceive(ctx, ours.file("out.bin"), XmodemVariant::OneK));
    EXPECT_EQ(result, TransferErrUserAbort);
    // The peer leaves with a failure well before its own time-outs would end it.
    int status = peer.wait(5s);
    EXPECT_NE(status, 0) << peer.log();
    EXPECT_NE(status, -1) << "the peer did not see the cancel\n" << peer.log();
    EXPECT_TRUE(folder.names().empty());
    EXPECT_EQ(ours.names(), std::vector<std::string>{"data.bin"});
}

INSTANTIATE_TEST_SUITE_P(Directions, LrzszAbort, ::testing::ValuesIn(abortCases),
                         [](const ::testing::TestParamInfo<AbortCase>& info) {
                             return transfer_test::rowName(info.param.what);
                         });

} // namespace
