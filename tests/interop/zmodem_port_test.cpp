// The ZMODEM entry points of the serial library on a real port (a pty) against sz and rz.

#include "../platform/seriallib/transfer_test_support.h"
#include "seriallib.h"
#include "zmodem_test_peer.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

using namespace std::chrono_literals;
using transfer_test::ScratchDir;

constexpr int kPort = 9;

class ZmodemPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interop::havePeer("sz") || !interop::havePeer("rz"))
            GTEST_SKIP() << "lrzsz is not installed";
        ASSERT_TRUE(ours_.ok() && theirs_.ok());
        ASSERT_EQ(SerialOpen(kPort), 0);
        ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    }
    void TearDown() override { SerialClose(kPort); }

    interop::PtyLine ours_, theirs_;
    interop::PtyBridge bridge_{ours_, theirs_};
    ScratchDir src_, dst_, logs_;
    interop::PortMapping map_{kPort, ours_.slavePath(), logs_.path()};
};

// The terminal's reader hands what it reads to the detector; once the detector has seen sz's ZRQINIT
// the automatic receive starts on the same port and completes the transfer.
TEST_F(ZmodemPort, AutomaticReceiveAfterTheReaderSawZrqinit) {
    const auto data = transfer_test::testData(30000, 4);
    transfer_test::writeFile(src_.file("auto.bin"), data);
    interop::Peer sz({"sz", "-q", "auto.bin"}, src_.path(), theirs_.slave(), logs_.file("sz.log"));
    ASSERT_TRUE(sz.started());

    const std::string_view zrqinit("**\x18"
                                   "B00000000000000");
    std::string seen;
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (seen.find(zrqinit) == std::string::npos && std::chrono::steady_clock::now() < end) {
        char buf[1024];
        const int n = SerialRead(kPort, buf, sizeof buf);
        if (n > 0)
            seen.append(buf, size_t(n));
    }
    ASSERT_NE(seen.find(zrqinit), std::string::npos);

    const std::string folder = dst_.path();
    const char* folderPtr = folder.c_str();
    int lastDone = -1, lastTotal = -1;
    auto progress = [&](int done, int, int, int total) {
        lastDone = done;
        lastTotal = total;
        return 0;
    };
    EXPECT_GE(FileReceiveZmodemAuto(kPort, &folderPtr, 1, progress, 27), 0);
    EXPECT_EQ(lastDone, 30000);
    EXPECT_EQ(lastTotal, 30000);
    EXPECT_EQ(transfer_test::readFile(dst_.file("auto.bin")), data);
    sz.wait(5s);
}

TEST_F(ZmodemPort, SendToRzAndAbortFromAnotherThread) {
    const auto data = transfer_test::testData(8192 + 3, 8);
    transfer_test::writeFile(src_.file("send.bin"), data);
    {
        interop::Peer rz({"rz", "-q"}, dst_.path(), theirs_.slave(), logs_.file("rz.log"));
        EXPECT_EQ(FileSendZmodem(kPort, src_.file("send.bin").c_str(), nullptr, 27), 0);
        rz.wait(5s);
        EXPECT_EQ(transfer_test::readFile(dst_.file("send.bin")), data);
    }
    // A big file, and the user stops it from the dialog's thread.
    transfer_test::writeFile(src_.file("big.bin"), transfer_test::testData(8 << 20, 9));
    interop::Peer rz({"rz", "-q"}, dst_.path(), theirs_.slave(), logs_.file("rz2.log"));
    std::atomic<bool> running{false};
    auto progress = [&](int done, int, int, int) {
        if (done > 100000)
            running = true;
        return 0;
    };
    auto tx = transfer_test::runAsync(
        [&] { return FileSendZmodem(kPort, src_.file("big.bin").c_str(), progress, 27); });
    while (!running && tx.wait_for(1ms) != std::future_status::ready) {
    }
    const auto t0 = std::chrono::steady_clock::now();
    SerialAbortTransmit(kPort);
    ASSERT_TRUE(transfer_test::ready(tx, 2s));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 200ms);
    EXPECT_EQ(tx.get(), TransferErrAborted);
    // rz heard the cancel and gave up with a failure.
    const int rc = rz.wait(10s);
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, -1) << "rz still running";
}

TEST_F(ZmodemPort, ResultCodesBeforeAnyTransfer) {
    const std::string missing = dst_.file("no-such-folder");
    const char* missingPtr = missing.c_str();
    const char* nullPtr = nullptr;
    EXPECT_EQ(FileReceiveZmodem(kPort, &missingPtr, 1, nullptr, 27), TransferErrFile);
    EXPECT_EQ(FileReceiveZmodem(kPort, &nullPtr, 1, nullptr, 27), TransferErrFile);
    EXPECT_EQ(FileSendZmodem(kPort, src_.file("absent").c_str(), nullptr, 27), TransferErrFile);
    EXPECT_EQ(FileSendZmodem(kPort + 1, src_.file("absent").c_str(), nullptr, 27), TransferErrNotOpen);
    const std::string folder = dst_.path();
    const char* folderPtr = folder.c_str();
    EXPECT_EQ(FileReceiveZmodemAuto(kPort + 1, &folderPtr, 1, nullptr, 27), TransferErrNotOpen);
}

} // namespace
