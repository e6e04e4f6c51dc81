// The File* entry points on a mapped COM port, with lrzsz at the other end of the line.

#include "seriallib.h"
#include "xmodem_interop_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace seriallib;
using namespace transfer_test;
using namespace interop;

namespace {

constexpr int kPort = 11;

class LrzszOnPort : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(config.file("ports.conf")) << "COM" << kPort << "=" << portPty.slavePath() << "\n";
        ::setenv("BREL_PORT_MAP", config.file("ports.conf").c_str(), 1);
        ASSERT_EQ(SerialOpen(kPort), 0);
        ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    }
    void TearDown() override {
        SerialClose(kPort);
        ::unsetenv("BREL_PORT_MAP");
    }

    ScratchDir config, ours, theirs;
    comm::PtyPair portPty, peerPty;
};

// The firmware upgrade's send: XMODEM with checksums to a receiver that starts with NAK.
TEST_F(LrzszOnPort, ChecksumSendToRx) {
    auto data = testData(20000);
    writeFile(ours.file("image.img"), data);
    PtyRelay relay(portPty, peerPty);
    PeerProcess peer(peerPty, theirs.path(), {"/usr/bin/rx", "image.img"});
    int steps = 0;
    EXPECT_EQ(FileSendXmodemChecksum(
                  kPort, ours.file("image.img").c_str(),
                  [&](int, int, int, int) {
                      ++steps;
                      return 0;
                  },
                  27),
              0)
        << peer.log();
    peer.wait();
    expectPadded(readFile(theirs.file("image.img")), data);
    EXPECT_GT(steps, 100);
}

TEST_F(LrzszOnPort, YmodemReceiveFromSb) {
    auto data = testData(30000);
    writeFile(theirs.file("notes.txt"), data);
    PtyRelay relay(portPty, peerPty);
    PeerProcess peer(peerPty, theirs.path(), {"/usr/bin/sb", theirs.file("notes.txt")});
    std::string folder = ours.path();
    const char* folderText = folder.c_str();
    EXPECT_EQ(FileReceiveYmodem(kPort, &folderText, 1, {}, 27), 1) << peer.log();
    EXPECT_EQ(readFile(ours.file("notes.txt")), data);
    EXPECT_EQ(peer.wait(), 0) << peer.log();
}

} // namespace
