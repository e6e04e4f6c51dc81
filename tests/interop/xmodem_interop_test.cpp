// XMODEM and YMODEM against lrzsz in both directions over a pty.

#include "xmodem.h"
#include "xmodem_interop_support.h"

#include <gtest/gtest.h>

using namespace seriallib;
using namespace transfer_test;
using namespace interop;

namespace {

enum class Peer { Rx, RxCrc, RxCrcOneK, Sx, SxCrc, SxOneK, Rb, Sb };

struct PeerMode {
    Peer peer;
    const char* name;
    std::vector<std::string> argv; // file names are appended
    bool peerSends;
};

const PeerMode& modeOf(Peer p) {
    static const std::vector<PeerMode> modes = {
        {Peer::Rx, "rx_checksum", {"/usr/bin/rx"}, false},
        {Peer::RxCrc, "rx_crc", {"/usr/bin/rx", "-c"}, false},
        {Peer::RxCrcOneK, "rx_crc_from_1k", {"/usr/bin/rx", "-c"}, false},
        {Peer::Sx, "sx_to_checksum", {"/usr/bin/sx"}, true},
        {Peer::SxCrc, "sx_to_crc", {"/usr/bin/sx"}, true},
        {Peer::SxOneK, "sx_1k", {"/usr/bin/sx", "-k"}, true},
        {Peer::Rb, "rb", {"/usr/bin/rb"}, false},
        {Peer::Sb, "sb", {"/usr/bin/sb"}, true},
    };
    return modes[static_cast<size_t>(p)];
}

struct Case {
    Peer peer;
    size_t size;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << modeOf(c.peer).name << " " << c.size;
}

class LrzszInterop : public ::testing::TestWithParam<Case> {};

TEST_P(LrzszInterop, FileArrivesIdentical) {
    auto [peerKind, size] = GetParam();
    const auto& mode = modeOf(peerKind);
    ScratchDir ours, theirs;
    // The data holds every byte value; the 64 KiB case is random beyond the first 512 bytes.
    auto data = testData(size, static_cast<uint32_t>(size));
    comm::PtyPair pty;
    FdChannel line(pty.master());
    TransferContext ctx(line, nullptr, {}, peerTimings());

    auto argv = mode.argv;
    if (mode.peerSends) {
        writeFile(theirs.file("data.bin"), data);
        argv.push_back(theirs.file("data.bin"));
    } else if (peerKind != Peer::Rb) {
        argv.push_back("data.bin"); // rx takes only names inside its folder
    }
    writeFile(ours.file("data.bin"), data);
    PeerProcess peer(pty, theirs.path(), argv);

    int result = 0;
    switch (peerKind) {
    case Peer::Rx:
        result = xmodemSend(ctx, ours.file("data.bin"), XmodemVariant::Checksum);
        break;
    case Peer::RxCrc:
        result = xmodemSend(ctx, ours.file("data.bin"), XmodemVariant::Crc);
        break;
    case Peer::RxCrcOneK:
        result = xmodemSend(ctx, ours.file("data.bin"), XmodemVariant::OneK);
        break;
    case Peer::Sx:
        result = xmodemReceive(ctx, ours.file("out.bin"), XmodemVariant::Checksum);
        break;
    case Peer::SxCrc:
        result = xmodemReceive(ctx, ours.file("out.bin"), XmodemVariant::Crc);
        break;
    case Peer::SxOneK:
        result = xmodemReceive(ctx, ours.file("out.bin"), XmodemVariant::OneK);
        break;
    case Peer::Rb:
        result = ymodemSend(ctx, ours.file("data.bin"));
        break;
    case Peer::Sb: {
        ScratchDir folder;
        result = ymodemReceive(ctx, folder.path());
        EXPECT_EQ(result, 1) << peer.log();
        EXPECT_EQ(folder.names(), std::vector<std::string>{"data.bin"});
        EXPECT_EQ(readFile(folder.file("data.bin")), data);
        result = 0;
        break;
    }
    }
    // An empty file is confirmed only by the answer to its EOT, which rx may lose as it leaves (and
    // hangs up): the sender then cannot claim it.
    const bool emptyToRx = size == 0 && !mode.peerSends && peerKind != Peer::Rb;
    if (emptyToRx && (result == TransferErrTimeout || result == TransferErrNotOpen))
        result = 0;
    EXPECT_EQ(result, 0) << peer.log();
    // lrzsz on a pty may lose its last answer as it leaves: its exit status does not decide.
    int status = peer.wait(mode.peerSends ? 5s : 15s);
    std::string log = "peer exit " + std::to_string(status) + "\n" + peer.log();
    switch (peerKind) {
    case Peer::Rx:
    case Peer::RxCrc:
    case Peer::RxCrcOneK:
        expectPadded(readFile(theirs.file("data.bin")), data);
        break;
    case Peer::Sx:
    case Peer::SxCrc:
    case Peer::SxOneK:
        expectPadded(readFile(ours.file("out.bin")), data);
        break;
    case Peer::Rb:
        EXPECT_EQ(readFile(theirs.file("data.bin")), data) << log;
        break;
    case Peer::Sb:
        break;
    }
    if (HasFailure())
        ADD_FAILURE() << log;
}

std::vector<Case> cases() {
    std::vector<Case> out;
    for (Peer p :
         {Peer::Rx, Peer::RxCrc, Peer::RxCrcOneK, Peer::Sx, Peer::SxCrc, Peer::SxOneK, Peer::Rb, Peer::Sb})
        for (size_t size : {0, 1, 127, 128, 129, 1023, 1024, 1025, 8 * 1024 + 3, 64 * 1024})
            out.push_back({p, size});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Table, LrzszInterop, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(modeOf(info.param.peer).name) + "_" +
                                    std::to_string(info.param.size);
                         });

} // namespace
