// The File* entry points on a real port: COM9 is mapped to a pty slave, our own protocol runs on
// the master.

#include "fd_channel.h"
#include "pty_pair.h"
#include "seriallib.h"
#include "transfer_pair.h"
#include "xmodem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace seriallib;
using namespace transfer_test;

namespace {

constexpr int kPort = 9;

class FileTransferOnPort : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir.file("ports.conf")) << "COM" << kPort << "=" << pty.slavePath() << "\n";
        ::setenv("BREL_PORT_MAP", dir.file("ports.conf").c_str(), 1);
        ASSERT_EQ(SerialOpen(kPort), 0);
        ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    }
    void TearDown() override {
        SerialClose(kPort);
        ::unsetenv("BREL_PORT_MAP");
    }

    ScratchDir dir;
    comm::PtyPair pty;
    FdChannel master{pty.master()};
};

TEST_F(FileTransferOnPort, XmodemOneKSendReachesTheOtherEnd) {
    auto data = testData(5000);
    writeFile(dir.file("in"), data);
    Side far(master);
    far.start([&](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), XmodemVariant::OneK); });
    ProgressLog log;
    EXPECT_EQ(FileSendXmodem1KCrc(kPort, dir.file("in").c_str(), log.callback(), 27), 0);
    EXPECT_EQ(far.finish(), 0);
    EXPECT_EQ(readFile(dir.file("out")), paddedTo(data, 128));
    log.expectMonotoneToTotal(5000);
}

TEST_F(FileTransferOnPort, YmodemReceiveFillsTheFolder) {
    auto data = testData(3000);
    ScratchDir from, to;
    writeFile(from.file("report.txt"), data);
    Side far(master);
    far.start([&](TransferContext& ctx) { return ymodemSend(ctx, from.file("report.txt")); });
    std::string folder = to.path();
    const char* folderText = folder.c_str();
    EXPECT_EQ(FileReceiveYmodem(kPort, &folderText, 1, {}, 27), 1);
    EXPECT_EQ(far.finish(), 0);
    EXPECT_EQ(readFile(to.file("report.txt")), data);
}

TEST_F(FileTransferOnPort, SerialAbortEndsARunningTransferWithinTwoHundredMilliseconds) {
    struct Case {
        const char* what;
        bool send;
    };
    for (auto c : {Case{"transmit", true}, Case{"receive", false}}) {
        SCOPED_TRACE(c.what);
        writeFile(dir.file("in"), testData(1000));
        std::atomic<bool> begun{false};
        auto callback = [&](int, int, int, int) {
            begun = true;
            return 0;
        };
        // Nobody answers on the master: the transfer waits for its peer until it is stopped.
        auto running = runAsync([&] {
            return c.send ? FileSendXmodemCrc(kPort, dir.file("in").c_str(), callback, 27)
                          : FileReceiveXmodemCrc(kPort, dir.file("out").c_str(), callback, 27);
        });
        while (!begun)
            std::this_thread::yield();
        auto asked = Clock::now();
        EXPECT_EQ(c.send ? SerialAbortTransmit(kPort) : SerialAbortReceive(kPort), 0);
        ASSERT_TRUE(ready(running, 2s));
        EXPECT_LT(Clock::now() - asked, 200ms);
        EXPECT_EQ(running.get(), TransferErrAborted);
        // The peer is told: the cancel sequence is on the line.
        ScriptedPeer peer(master);
        auto seen = peer.drain(100ms);
        EXPECT_GE(std::count(seen.begin(), seen.end(), xmodem::CAN), 2);
    }
}

TEST_F(FileTransferOnPort, BadArgumentsAndClosedPortsGiveTheirCodes) {
    writeFile(dir.file("in"), testData(10));
    const char* none = nullptr;
    EXPECT_EQ(FileSendYmodem(kPort, nullptr, {}, 27), TransferErrFile);
    EXPECT_EQ(FileReceiveYmodem(kPort, nullptr, 1, {}, 27), TransferErrFile);
    EXPECT_EQ(FileReceiveYmodem(kPort, &none, 1, {}, 27), TransferErrFile);
    EXPECT_EQ(FileSendXmodemChecksum(kPort, dir.file("missing").c_str(), {}, 27), TransferErrFile);
    EXPECT_EQ(FileSendXmodemChecksum(kPort + 1, dir.file("in").c_str(), {}, 27), TransferErrNotOpen);
    EXPECT_EQ(FileReceiveAscii(kPort + 1, dir.file("out").c_str(), {}, 27, 30), TransferErrNotOpen);
}

} // namespace
