// The Kermit entry points of the serial library on a real port (a pty) against gkermit.

#include "../platform/seriallib/transfer_test_support.h"
#include "seriallib.h"
#include "zmodem_test_peer.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using transfer_test::ScratchDir;

constexpr int kPort = 11;

class KermitPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interop::havePeer("gkermit"))
            GTEST_SKIP() << "gkermit is not installed";
        ASSERT_TRUE(ours_.ok() && theirs_.ok());
        ASSERT_EQ(SerialOpen(kPort), 0);
    }
    void TearDown() override { SerialClose(kPort); }

    interop::PtyLine ours_, theirs_;
    interop::PtyBridge bridge_{ours_, theirs_};
    ScratchDir src_, dst_, logs_;
    interop::PortMapping map_{kPort, ours_.slavePath(), logs_.path()};
};

// Both entry points with progress. (A pty takes no parity setting: the 8th-bit prefix path is proven
// on the seven-bit memory line.)
TEST_F(KermitPort, SendAndReceiveThroughTheEntryPoints) {
    ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    const auto data = transfer_test::testData(20000, 6);
    transfer_test::writeFile(src_.file("Parity.bin"), data);
    {
        interop::Peer peer({"gkermit", "-P", "-r"}, dst_.path(), theirs_.slave(), logs_.file("r.log"));
        int lastDone = -1;
        auto progress = [&](int done, int, int, int) {
            lastDone = done;
            return 0;
        };
        EXPECT_EQ(FileSendKermit(kPort, src_.file("Parity.bin").c_str(), progress, 27), 0);
        EXPECT_EQ(lastDone, 20000);
        EXPECT_EQ(peer.wait(10s), 0);
        EXPECT_EQ(transfer_test::readFile(dst_.file("Parity.bin")), data);
    }
    ScratchDir in;
    interop::Peer peer({"gkermit", "-i", "-P", "-s", "Parity.bin"}, src_.path(), theirs_.slave(),
                       logs_.file("s.log"));
    const std::string folder = in.path();
    const char* folderPtr = folder.c_str();
    EXPECT_EQ(FileReceiveKermit(kPort, &folderPtr, 1, nullptr, 27), 1);
    EXPECT_EQ(peer.wait(10s), 0);
    EXPECT_EQ(transfer_test::readFile(in.file("Parity.bin")), data);
}

// The user stops a receive: it ends at once, the sender gets our E packet and gives up, and no
// partial file is left that looks complete.
TEST_F(KermitPort, AbortedReceiveTellsTheSender) {
    ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    transfer_test::writeFile(src_.file("big.bin"), transfer_test::testData(8 << 20, 2));
    interop::Peer peer({"gkermit", "-i", "-P", "-s", "big.bin"}, src_.path(), theirs_.slave(),
                       logs_.file("s.log"));
    std::atomic<bool> running{false};
    auto progress = [&](int done, int, int, int) {
        if (done > 100000)
            running = true;
        return 0;
    };
    const std::string folder = dst_.path();
    auto rx = transfer_test::runAsync([&] {
        const char* folderPtr = folder.c_str();
        return FileReceiveKermit(kPort, &folderPtr, 1, progress, 27);
    });
    while (!running && rx.wait_for(1ms) != std::future_status::ready) {
    }
    const auto t0 = std::chrono::steady_clock::now();
    SerialAbortReceive(kPort);
    ASSERT_TRUE(transfer_test::ready(rx, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);
    EXPECT_EQ(rx.get(), TransferErrAborted);
    const int rc = peer.wait(10s);
    EXPECT_NE(rc, -1) << "gkermit still running";
    EXPECT_NE(rc, 0);
    EXPECT_TRUE(dst_.names().empty());
}

} // namespace
