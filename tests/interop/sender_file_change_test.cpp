// A file cut or grown under its sender (a log rotated while it is sent): every sender fails with the
// file error, tells the receiver, and never sends past the size it announced. The receivers are
// lrzsz's and ours.

#include "../platform/seriallib/transfer_pair.h"
#include "ascii.h"
#include "receive_folder.h"
#include "xmodem.h"
#include "xmodem_interop_support.h"
#include "zmodem_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace seriallib;
using namespace transfer_test;
using namespace interop;

namespace {

enum class Protocol { XmodemOneK, Ymodem, Zmodem, Ascii };
enum class Change { Cut, Grown };

struct ChangeCase {
    Protocol protocol;
    bool lrzsz; // the receiver is lrzsz's program, else ours
    Change change;
};

const char* protocolName(Protocol p) {
    const char* names[] = {"xmodem_1k", "ymodem", "zmodem", "ascii"};
    return names[static_cast<int>(p)];
}

std::string caseName(const ChangeCase& c) {
    static const char* const peers[] = {"rx", "rb", "rz", "-"};
    return std::string(protocolName(c.protocol)) + "_to_" +
           (c.lrzsz ? peers[static_cast<int>(c.protocol)] : "ours") +
           (c.change == Change::Cut ? "_cut" : "_grown");
}

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << caseName(c);
}

constexpr size_t kSize = 1000000;
constexpr int kChangeAt = 150 * 1024;
constexpr off_t kCutTo = 250000;

int send(Protocol p, TransferContext& ctx, const std::string& path) {
    switch (p) {
    case Protocol::XmodemOneK:
        return xmodemSend(ctx, path, XmodemVariant::OneK);
    case Protocol::Ymodem:
        return ymodemSend(ctx, path);
    case Protocol::Zmodem:
        return zmodemSend(ctx, {path});
    case Protocol::Ascii:
        return asciiSend(ctx, path);
    }
    return 0;
}

// The sender's progress, which changes the file once, after kChangeAt bytes have gone.
TransferProgressCallback changer(const std::string& path, Change change, std::atomic<bool>& changed) {
    return [path, change, &changed](int done, int, int, int) {
        if (done < kChangeAt || changed.exchange(true))
            return 0;
        if (change == Change::Cut) {
            EXPECT_EQ(::truncate(path.c_str(), kCutTo), 0);
        } else {
            std::ofstream(path, std::ios::binary | std::ios::app) << std::string(4096, 'x');
        }
        return 0;
    };
}

class SenderFileChange : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(SenderFileChange, FailsWithTheFileErrorAndTellsTheReceiver) {
    const ChangeCase& c = GetParam();
    ScratchDir ours, theirs;
    writeFile(ours.file("data.bin"), testData(kSize));
    std::atomic<bool> changed{false};
    auto progress = changer(ours.file("data.bin"), c.change, changed);

    if (c.lrzsz) {
        static const std::vector<std::string> argvs[] = {
            {"/usr/bin/rx", "-c", "data.bin"}, {"/usr/bin/rb"}, {"/usr/bin/rz"}};
        comm::PtyPair pty;
        FdChannel line(pty.master());
        TransferContext ctx(line, nullptr, progress, peerTimings());
        PeerProcess peer(pty, theirs.path(), argvs[static_cast<int>(c.protocol)]);
        EXPECT_EQ(send(c.protocol, ctx, ours.file("data.bin")), TransferErrFile) << peer.log();
        // The receiver leaves on our cancel, not on its own time-outs.
        // rx waits 10 s for a block before it retries on its own: anything sooner is our cancel.
        const int status = peer.wait(9s);
        EXPECT_NE(status, 0) << peer.log();
        EXPECT_NE(status, -1) << "the receiver was not told\n" << peer.log();
        // What it kept of the file, if anything, is no longer than the file announced (XMODEM pads).
        for (const auto& name : theirs.names()) {
            if (name != "peer.log") {
                EXPECT_LE(readFile(theirs.file(name)).size(), kSize + 1023) << name;
            }
        }
    } else {
        MemoryChannelPair line;
        Side receiver(line.b());
        receiver.start([&](TransferContext& ctx) {
            switch (c.protocol) {
            case Protocol::XmodemOneK:
                return xmodemReceive(ctx, theirs.file("data.bin"), XmodemVariant::OneK);
            case Protocol::Ymodem:
                return ymodemReceive(ctx, theirs.path());
            case Protocol::Zmodem: {
                ReceiveFolder folder(theirs.path());
                FolderFiles files(folder);
                return zmodemReceive(ctx, files);
            }
            case Protocol::Ascii:
                return asciiReceive(ctx, theirs.file("data.bin"), 300ms);
            }
            return 0;
        });
        TransferContext ctx(line.a(), nullptr, progress, quickTimings());
        EXPECT_EQ(send(c.protocol, ctx, ours.file("data.bin")), TransferErrFile);
        const int received = receiver.finish(10s);
        if (c.protocol == Protocol::Ascii) {
            // Plain text has no way to say so: the receiver keeps what came, never more than announced.
            EXPECT_LE(readFile(theirs.file("data.bin")).size(), kSize);
        } else {
            EXPECT_EQ(received, TransferErrRemoteAbort);
            EXPECT_TRUE(theirs.names().empty());
        }
    }
    EXPECT_TRUE(changed);
}

std::vector<ChangeCase> changeCases() {
    std::vector<ChangeCase> out;
    for (Change change : {Change::Cut, Change::Grown}) {
        for (Protocol p : {Protocol::XmodemOneK, Protocol::Ymodem, Protocol::Zmodem})
            for (bool lrzsz : {true, false})
                out.push_back({p, lrzsz, change});
        out.push_back({Protocol::Ascii, false, change});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Table, SenderFileChange, ::testing::ValuesIn(changeCases()),
                         [](const ::testing::TestParamInfo<ChangeCase>& info) {
                             return caseName(info.param);
                         });

} // namespace
