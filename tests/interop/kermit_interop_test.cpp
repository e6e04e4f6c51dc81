// Our Kermit against gkermit and C-Kermit over a pseudo-terminal.

#include "../platform/seriallib/transfer_test_support.h"
#include "fd_channel.h"
#include "interop_timings.h"
#include "kermit_session.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "zmodem_test_peer.h"

#include <gtest/gtest.h>

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iterator>
#include <optional>
#include <random>

#include <tuple>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;

enum class PeerKind { GKermit, CKermit };

TransferTimings interopTimings() {
    return interop::interopTimings(5s);
}

// The peer's command line: gkermit on the line as its stdin/stdout, C-Kermit pointed at the line.
// C-Kermit's settings (a "set" command each) go in a command script.
std::vector<std::string> command(PeerKind kind, const interop::PtyLine& line, bool send,
                                 const std::vector<std::string>& files,
                                 const std::vector<std::string>& settings = {}) {
    std::vector<std::string> argv;
    if (kind == PeerKind::GKermit) {
        // Options in place of binary mode (-i) when sending.
        argv = {"gkermit"};
        if (send && settings.empty())
            argv.push_back("-i");
        argv.insert(argv.end(), settings.begin(), settings.end());
        argv.insert(argv.end(), {"-P", send ? "-s" : "-r"});
    } else if (!settings.empty()) {
        std::string script = "set line " + line.slavePath() + ", set speed 115200, set carrier-watch off";
        for (const auto& s : settings)
            script += ", " + s;
        script += send ? ", send" : ", receive";
        for (const auto& f : files)
            script += " " + f;
        return {"kermit", "-Y", "-C", script + ", quit"};
    } else {
        argv = {"kermit", "-Y", "-l", line.slavePath(), "-b", "115200", "-i", send ? "-s" : "-r"};
    }
    argv.insert(argv.end(), files.begin(), files.end());
    return argv;
}

class KermitInterop : public ::testing::TestWithParam<std::tuple<PeerKind, size_t>> {
protected:
    void SetUp() override {
        kind_ = std::get<0>(GetParam());
        if (!interop::havePeer(kind_ == PeerKind::GKermit ? "gkermit" : "kermit"))
            GTEST_SKIP() << "peer program not installed";
        ASSERT_TRUE(line_.ok());
    }
    int stdioFor() const { return kind_ == PeerKind::GKermit ? line_.slave() : -1; }

    // Runs the peer as sender of names (in src_) and our receiver; returns our result.
    int receive(const std::vector<std::string>& names, const std::vector<std::string>& settings = {}) {
        interop::Peer peer(command(kind_, line_, true, names, settings), src_.path(), stdioFor(),
                           logs_.file("peer.log"));
        EXPECT_TRUE(peer.started());
        FdChannel channel(line_.master());
        ReceiveFolder folder(dst_.path());
        FolderFiles files(folder);
        TransferContext ctx(channel, nullptr, {}, interopTimings());
        const int rc = kermitReceive(ctx, files);
        EXPECT_EQ(peer.wait(10s), 0);
        return rc;
    }
    // Runs the peer as receiver (in dst_) and our sender; returns our result.
    int send(const std::vector<std::string>& paths, TransferProgressCallback progress = {},
             const std::vector<std::string>& settings = {}) {
        interop::Peer peer(command(kind_, line_, false, {}, settings), dst_.path(), stdioFor(),
                           logs_.file("peer.log"));
        EXPECT_TRUE(peer.started());
        FdChannel channel(line_.master());
        TransferContext ctx(channel, nullptr, std::move(progress), interopTimings());
        const int rc = kermitSend(ctx, paths);
        EXPECT_EQ(peer.wait(10s), 0);
        return rc;
    }
    // The received file of that name (C-Kermit may change the case of names).
    std::vector<uint8_t> received(const std::string& name) const {
        for (const auto& n : dst_.names())
            if (strcasecmp(n.c_str(), name.c_str()) == 0)
                return transfer_test::readFile(dst_.file(n));
        ADD_FAILURE() << name << " not received";
        return {};
    }

    PeerKind kind_ = PeerKind::GKermit;
    interop::PtyLine line_;
    ScratchDir src_, dst_, logs_;
};

TEST_P(KermitInterop, PeerSendsToUs) {
    const size_t size = std::get<1>(GetParam());
    const auto data = transfer_test::testData(size, uint32_t(size));
    transfer_test::writeFile(src_.file("Data.bin"), data);
    EXPECT_EQ(receive({"Data.bin"}), 1);
    EXPECT_EQ(received("Data.bin"), data);
    if (kind_ == PeerKind::GKermit) {
        EXPECT_EQ(dst_.names(), std::vector<std::string>{"Data.bin"});
    }
}

TEST_P(KermitInterop, WeSendToPeer) {
    const size_t size = std::get<1>(GetParam());
    const auto data = transfer_test::testData(size, uint32_t(size));
    transfer_test::writeFile(src_.file("Data.bin"), data);
    int lastDone = -1, lastTotal = -1;
    EXPECT_EQ(send({src_.file("Data.bin")},
                   [&](int done, int, int, int total) {
                       lastDone = done;
                       lastTotal = total;
                       return 0;
                   }),
              0);
    EXPECT_EQ(size_t(lastDone), size);
    EXPECT_EQ(size_t(lastTotal), size);
    // Names go out as the file has them.
    EXPECT_EQ(dst_.names(), std::vector<std::string>{"Data.bin"});
    EXPECT_EQ(received("Data.bin"), data);
}

class KermitInteropBatch : public KermitInterop {};

TEST_P(KermitInteropBatch, ThreeFilesBothWays) {
    const std::vector<std::string> names = {"one", "two.txt", "three.dat"};
    std::vector<std::string> paths;
    for (size_t i = 0; i < names.size(); ++i) {
        paths.push_back(src_.file(names[i]));
        transfer_test::writeFile(paths.back(), transfer_test::testData(2000 * (i + 1), uint32_t(i)));
    }
    EXPECT_EQ(receive(names), 3);
    for (const auto& n : names)
        EXPECT_EQ(received(n), transfer_test::readFile(src_.file(n))) << n;
    for (const auto& n : dst_.names())
        std::filesystem::remove(dst_.file(n));
    EXPECT_EQ(send(paths), 0);
    for (const auto& n : names)
        EXPECT_EQ(received(n), transfer_test::readFile(src_.file(n))) << n;
}

// C-Kermit with each block check it offers (4 is the blank-free type 2, 5 a type 3 forced on the S
// exchange too), and with sliding windows, both ways.
const char* const kPeerSettings[] = {"set block-check 1", "set block-check 2", "set block-check 3",
                                     "set block-check 4", "set block-check 5", "set window 8",
                                     "set window 31"};

class KermitInteropSettings : public KermitInterop {};

TEST_P(KermitInteropSettings, BothWaysWithThePeersSetting) {
    const std::vector<std::string> settings = {kPeerSettings[std::get<1>(GetParam())]};
    const auto data = transfer_test::testData(30000, 4);
    transfer_test::writeFile(src_.file("Set.bin"), data);
    EXPECT_EQ(receive({"Set.bin"}, settings), 1);
    EXPECT_EQ(received("Set.bin"), data);
    for (const auto& n : dst_.names())
        std::filesystem::remove(dst_.file(n));
    EXPECT_EQ(send({src_.file("Set.bin")}, {}, settings), 0);
    EXPECT_EQ(received("Set.bin"), data);
}

// A text file sent as text (C-Kermit's file type, gkermit's -T) arrives as its sender's user had it,
// with LF line ends, and the progress never passes its total.
TEST_P(KermitInteropBatch, TextFileFromThePeerKeepsItsLineEnds) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "line " + std::to_string(i) + (i % 7 ? "\n" : "\n\n");
    const std::vector<uint8_t> data(text.begin(), text.end());
    transfer_test::writeFile(src_.file("notes.txt"), data);
    const auto settings = kind_ == PeerKind::GKermit ? std::vector<std::string>{"-T"}
                                                     : std::vector<std::string>{"set file type text"};
    interop::Peer peer(command(kind_, line_, true, {"notes.txt"}, settings), src_.path(), stdioFor(),
                       logs_.file("peer.log"));
    ASSERT_TRUE(peer.started());
    FdChannel channel(line_.master());
    ReceiveFolder folder(dst_.path());
    FolderFiles files(folder);
    int overshoots = 0, lastDone = 0;
    TransferContext ctx(
        channel, nullptr,
        [&](int done, int, int, int total) {
            overshoots += total > 0 && done > total;
            lastDone = done;
            return 0;
        },
        interopTimings());
    EXPECT_EQ(kermitReceive(ctx, files), 1);
    EXPECT_EQ(peer.wait(10s), 0);
    EXPECT_EQ(received("notes.txt"), data);
    EXPECT_EQ(overshoots, 0);
    EXPECT_EQ(size_t(lastDone), data.size());
}

// Our end of the line with one bit of a byte flipped now and then, and (when asked) a stray byte
// inserted now and then, both ways (seeded).
class NoisyChannel : public ByteChannel {
public:
    NoisyChannel(ByteChannel& inner, double rate, uint32_t seed, double insertRate = 0)
        : inner_(inner), flip_(rate), insert_(insertRate), rng_(seed) {}
    int read(uint8_t* buffer, size_t size, Clock::time_point deadline) override {
        // Half the room, so that every byte may bring a stray one.
        const int n = inner_.read(buffer, std::max<size_t>(size / 2, 1), deadline);
        if (n <= 0)
            return n;
        std::vector<uint8_t> in(buffer, buffer + n), out;
        carry(in, out);
        const size_t m = std::min(out.size(), size);
        std::copy_n(out.begin(), m, buffer);
        return int(m);
    }
    int write(const uint8_t* buffer, size_t size, Clock::time_point deadline) override {
        std::vector<uint8_t> in(buffer, buffer + size), out;
        carry(in, out);
        const int rc = inner_.write(out.data(), out.size(), deadline);
        return rc < 0 ? rc : size_t(rc) == out.size() ? int(size) : std::min(rc, int(size));
    }
    void purgeInput() override { inner_.purgeInput(); }
    void drainOutput(Clock::time_point deadline) override { inner_.drainOutput(deadline); }

private:
    void carry(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
        for (uint8_t b : in) {
            if (insert_(rng_))
                out.push_back(uint8_t(rng_()));
            if (flip_(rng_))
                b ^= uint8_t(1u << (rng_() % 8));
            out.push_back(b);
        }
    }
    ByteChannel& inner_;
    std::bernoulli_distribution flip_, insert_;
    std::mt19937 rng_;
};

// gkermit over a line that spoils one byte in a thousand: every damaged packet costs about a packet
// time, so the transfers end in seconds. Our sender, whose packets shrink after trouble, gets the
// file through; gkermit as sender keeps its long packets and may give up, which must leave a
// failure code and no file, never a wrong one.
TEST_P(KermitInteropBatch, NoisyLineAgainstThePeer) {
    if (kind_ != PeerKind::GKermit)
        GTEST_SKIP() << "C-Kermit's own recovery is not under test";
    const auto data = transfer_test::testData(20000, 5);
    transfer_test::writeFile(src_.file("noisy.bin"), data);
    for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        for (const auto& n : dst_.names())
            std::filesystem::remove(dst_.file(n));
        interop::Peer peer(command(kind_, line_, false, {}), dst_.path(), stdioFor(), logs_.file("peer.log"));
        FdChannel fd(line_.master());
        NoisyChannel channel(fd, 1e-3, seed);
        TransferContext ctx(channel, nullptr, {}, interopTimings());
        const auto t0 = Clock::now();
        const int rc = kermitSend(ctx, {src_.file("noisy.bin")});
        EXPECT_LT(Clock::now() - t0, 30s);
        EXPECT_EQ(rc, 0);
        peer.wait(10s);
        if (rc == 0) {
            EXPECT_EQ(received("noisy.bin"), data);
        }
    }
    for (uint32_t seed : {3u, 4u}) {
        SCOPED_TRACE(seed);
        for (const auto& n : dst_.names())
            std::filesystem::remove(dst_.file(n));
        interop::Peer peer(command(kind_, line_, true, {"noisy.bin"}), src_.path(), stdioFor(),
                           logs_.file("peer.log"));
        FdChannel fd(line_.master());
        NoisyChannel channel(fd, 1e-3, seed);
        ReceiveFolder folder(dst_.path());
        FolderFiles files(folder);
        TransferContext ctx(channel, nullptr, {}, interopTimings());
        const auto t0 = Clock::now();
        const int rc = kermitReceive(ctx, files);
        EXPECT_LT(Clock::now() - t0, 30s);
        peer.wait(10s);
        if (rc == 1) {
            EXPECT_EQ(received("noisy.bin"), data);
        } else {
            EXPECT_LT(rc, 0);
            EXPECT_TRUE(dst_.names().empty());
        }
    }
}

// Our sender on a line that flips bits and inserts bytes at 1e-3, both ways: to C-Kermit (its
// default sliding windows), to gkermit (no windows) and to our own receiver. Whatever the line
// does, a success means the receiver has the whole file, and every run ends in seconds; on this
// line most runs deliver.
struct NoisySendCase {
    std::string name;
    std::optional<PeerKind> peer; // none: our own receiver
};

void PrintTo(const NoisySendCase& c, std::ostream* os) {
    *os << c.name;
}

class KermitNoisySend : public ::testing::TestWithParam<NoisySendCase> {};

TEST_P(KermitNoisySend, SucceedsOnlyWithTheWholeFileAtTheReceiver) {
    const NoisySendCase& c = GetParam();
    if (c.peer && !interop::havePeer(*c.peer == PeerKind::GKermit ? "gkermit" : "kermit"))
        GTEST_SKIP() << "peer program not installed";
    const auto data = transfer_test::testData(20000, 21);
    ScratchDir src, logs;
    transfer_test::writeFile(src.file("noisy.bin"), data);
    int delivered = 0;
    constexpr uint32_t kSeeds[] = {1, 2, 3};
    for (uint32_t seed : kSeeds) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        interop::PtyLine line;
        ASSERT_TRUE(line.ok());
        ScratchDir dst;
        std::optional<interop::Peer> peer;
        std::future<int> ours;
        if (c.peer) {
            peer.emplace(command(*c.peer, line, false, {}), dst.path(),
                         *c.peer == PeerKind::GKermit ? line.slave() : -1, logs.file("peer.log"));
            ASSERT_TRUE(peer->started());
        } else {
            ours = transfer_test::runAsync([&] {
                FdChannel fd(line.slave());
                ReceiveFolder folder(dst.path());
                FolderFiles files(folder);
                TransferContext ctx(fd, nullptr, {}, interopTimings());
                return kermitReceive(ctx, files);
            });
        }
        FdChannel fd(line.master());
        NoisyChannel channel(fd, 1e-3, seed, 1e-3);
        // A lost packet costs the answer wait: a second on this fast line keeps the runs short.
        TransferTimings t = interopTimings();
        t.responseWait = 1s;
        TransferContext ctx(channel, nullptr, {}, t);
        const auto t0 = Clock::now();
        const int rc = kermitSend(ctx, {src.file("noisy.bin")});
        EXPECT_LT(Clock::now() - t0, 20s);
        if (peer)
            peer->wait(10s);
        else
            ASSERT_TRUE(transfer_test::ready(ours));
        const auto names = dst.names();
        const bool whole = names.size() == 1 && transfer_test::readFile(dst.file(names[0])) == data;
        if (rc == 0) {
            EXPECT_TRUE(whole) << "success claimed without the whole file at the receiver";
            delivered += whole;
        } else {
            EXPECT_LT(rc, 0);
        }
    }
    EXPECT_GE(delivered, 2);
}

INSTANTIATE_TEST_SUITE_P(Receivers, KermitNoisySend,
                         ::testing::Values(NoisySendCase{"ckermit_windows", PeerKind::CKermit},
                                           NoisySendCase{"gkermit", PeerKind::GKermit},
                                           NoisySendCase{"ours", std::nullopt}),
                         [](const auto& info) { return info.param.name; });

// Seconds for 8 MiB each way between our Kermit and the peer (BENCH_SIZE bytes when set), to set
// beside the peer's own pair (bench/transfer_zk.sh).
TEST_P(KermitInteropBatch, DISABLED_Throughput) {
    const char* env = std::getenv("BENCH_SIZE");
    const size_t size = env ? size_t(std::strtoull(env, nullptr, 10)) : size_t(8) << 20;
    const auto data = transfer_test::testData(size, 11);
    transfer_test::writeFile(src_.file("bench.bin"), data);
    auto seconds = [](auto since) { return std::chrono::duration<double>(Clock::now() - since).count(); };
    auto t0 = Clock::now();
    EXPECT_EQ(receive({"bench.bin"}), 1);
    const double in = seconds(t0);
    EXPECT_EQ(received("bench.bin"), data);
    for (const auto& n : dst_.names())
        std::filesystem::remove(dst_.file(n));
    t0 = Clock::now();
    EXPECT_EQ(send({src_.file("bench.bin")}), 0);
    const double out = seconds(t0);
    EXPECT_EQ(received("bench.bin"), data);
    std::printf("Kermit %zu bytes: peer -> us %.3f s, us -> peer %.3f s\n", size, in, out);
}

std::string caseName(const ::testing::TestParamInfo<KermitInterop::ParamType>& info) {
    return std::string(std::get<0>(info.param) == PeerKind::GKermit ? "gkermit_" : "ckermit_") +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Peers, KermitInterop,
                         ::testing::Combine(::testing::Values(PeerKind::GKermit, PeerKind::CKermit),
                                            ::testing::Values(size_t(0), size_t(1), size_t(1023),
                                                              size_t(1024), size_t(1025), size_t(8192 + 3),
                                                              size_t(65536))),
                         caseName);
INSTANTIATE_TEST_SUITE_P(Peers, KermitInteropSettings,
                         ::testing::Combine(::testing::Values(PeerKind::CKermit),
                                            ::testing::Range(size_t(0), std::size(kPeerSettings))),
                         [](const auto& info) {
                             std::string name = kPeerSettings[std::get<1>(info.param)];
                             for (char& c : name)
                                 c = std::isalnum(uint8_t(c)) ? c : '_';
                             return name;
                         });
INSTANTIATE_TEST_SUITE_P(Peers, KermitInteropBatch,
                         ::testing::Combine(::testing::Values(PeerKind::GKermit, PeerKind::CKermit),
                                            ::testing::Values(size_t(0))),
                         caseName);

} // namespace
