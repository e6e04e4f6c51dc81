// Our ZMODEM against lrzsz's sz and rz over a pseudo-terminal.

#include "../platform/seriallib/transfer_test_support.h"
#include "../platform/seriallib/zmodem_line_noise.h"
#include "../platform/seriallib/zmodem_script.h"
#include "fd_channel.h"
#include "interop_timings.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "zmodem_frame.h"
#include "zmodem_session.h"
#include "zmodem_test_peer.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>

#include <atomic>
#include <cstring>
#include <string_view>
#include <thread>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;

using interop::interopTimings;

// lrzsz on the far end of a pty, scratch folders on ours.
template <typename Param>
class SzRzOnAPty : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        if (!interop::havePeer("sz") || !interop::havePeer("rz"))
            GTEST_SKIP() << "lrzsz is not installed";
        ASSERT_TRUE(line_.ok());
    }
    interop::PtyLine line_;
    ScratchDir src_, dst_, logs_;
};

class ZmodemInterop : public SzRzOnAPty<size_t> {};

// Our receiver, with sz sending the given files from src_.
int receiveFromSz(interop::PtyLine& line, const ScratchDir& src, const ScratchDir& dst,
                  const ScratchDir& logs, const std::vector<std::string>& names, bool detectStart = false,
                  const std::vector<std::string>& options = {}, const transfer_test::Noise& noise = {},
                  int retries = interopTimings().retries) {
    std::vector<std::string> argv = {"sz", "-q"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), names.begin(), names.end());
    interop::Peer sz(argv, src.path(), line.slave(), logs.file("sz.log"));
    EXPECT_TRUE(sz.started());
    FdChannel pty(line.master());
    transfer_test::NoisyChannel channel(pty, noise, {});
    if (detectStart) {
        // What the terminal's detector does: it reads the line until it has seen a ZRQINIT header,
        // and the bytes it consumed are gone.
        const std::string_view zrqinit("**\x18"
                                       "B00000000000000");
        std::string seen;
        uint8_t buf[64];
        const auto end = Clock::now() + 5s;
        while (seen.find(zrqinit) == std::string::npos && Clock::now() < end) {
            const int n = channel.read(buf, sizeof buf, Clock::now() + 100ms);
            if (n < 0)
                break;
            seen.append(reinterpret_cast<char*>(buf), size_t(n));
        }
        EXPECT_NE(seen.find(zrqinit), std::string::npos) << seen;
    }
    ReceiveFolder folder(dst.path());
    FolderFiles files(folder);
    TransferTimings timings = interopTimings();
    timings.retries = retries;
    TransferContext ctx(channel, nullptr, {}, timings);
    const int rc = zmodemReceive(ctx, files);
    sz.wait(5s);
    return rc;
}

TEST_P(ZmodemInterop, SzToOurReceiver) {
    const auto data = transfer_test::testData(GetParam(), uint32_t(GetParam()));
    transfer_test::writeFile(src_.file("in.bin"), data);
    EXPECT_EQ(receiveFromSz(line_, src_, dst_, logs_, {"in.bin"}), 1);
    EXPECT_EQ(dst_.names(), std::vector<std::string>{"in.bin"});
    EXPECT_EQ(transfer_test::readFile(dst_.file("in.bin")), data);
}

TEST_P(ZmodemInterop, OurSenderToRz) {
    const auto data = transfer_test::testData(GetParam(), uint32_t(GetParam()));
    transfer_test::writeFile(src_.file("out.bin"), data);
    interop::Peer rz({"rz", "-q"}, dst_.path(), line_.slave(), logs_.file("rz.log"));
    ASSERT_TRUE(rz.started());
    FdChannel channel(line_.master());
    int lastDone = 0, lastTotal = 0;
    TransferProgressCallback progress = [&](int done, int, int, int total) {
        EXPECT_GE(done, lastDone);
        lastDone = done;
        lastTotal = total;
        return 0;
    };
    TransferContext ctx(channel, nullptr, progress, interopTimings());
    EXPECT_EQ(zmodemSend(ctx, {src_.file("out.bin")}), 0);
    EXPECT_EQ(size_t(lastDone), GetParam());
    EXPECT_EQ(size_t(lastTotal), GetParam());
    rz.wait(5s);
    EXPECT_EQ(transfer_test::readFile(dst_.file("out.bin")), data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZmodemInterop,
                         ::testing::Values(size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025),
                                           size_t(8192 + 3), size_t(65536)));

class ZmodemInteropBatch : public ZmodemInterop {};

// sz's windowed and escaping modes on a file of every byte value, with a little noise on the line. A
// windowed sender keeps sending after a damaged subpacket until its window runs out: the receiver
// must ask for the lost place once and pass over the rest (escaped data holds many things that look
// like damaged headers), or sz soon gives up. Several runs, each with its own noise, and the retry
// limit a user has.
struct SzMode {
    std::string name;
    std::vector<std::string> options;
    int run; // the data and the noise differ from run to run
};

void PrintTo(const SzMode& m, std::ostream* os) {
    *os << m.name;
}

class ZmodemInteropNoisySz : public SzRzOnAPty<SzMode> {};

TEST_P(ZmodemInteropNoisySz, WindowsAndEscapingOnEveryByteValue) {
    const SzMode& m = GetParam();
    const auto data = transfer_test::testData(200000, uint32_t(m.run));
    transfer_test::writeFile(src_.file("all.bin"), data);
    EXPECT_EQ(receiveFromSz(line_, src_, dst_, logs_, {"all.bin"}, false, m.options,
                            transfer_test::Noise::mixed(3e-4, uint64_t(m.run + 1)),
                            TransferTimings().retries),
              1);
    EXPECT_EQ(dst_.names(), std::vector<std::string>{"all.bin"});
    EXPECT_EQ(transfer_test::readFile(dst_.file("all.bin")), data);
}

std::vector<SzMode> szModes() {
    const std::pair<std::string, std::vector<std::string>> modes[] = {
        {"escaped_8bit_window_8192", {"-e", "-8", "-w", "8192"}}, {"window_4096", {"-w", "4096"}}};
    std::vector<SzMode> out;
    for (const auto& [name, options] : modes)
        for (int run = 0; run < 5; ++run)
            out.push_back({name + "_run_" + std::to_string(run), options, run});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Modes, ZmodemInteropNoisySz, ::testing::ValuesIn(szModes()),
                         [](const ::testing::TestParamInfo<SzMode>& info) { return info.param.name; });

TEST_F(ZmodemInteropBatch, ThreeFilesFromSz) {
    std::vector<std::string> names = {"one", "two.txt", "three.dat"};
    for (size_t i = 0; i < names.size(); ++i)
        transfer_test::writeFile(src_.file(names[i]), transfer_test::testData(3000 * (i + 1), uint32_t(i)));
    EXPECT_EQ(receiveFromSz(line_, src_, dst_, logs_, names), 3);
    for (const auto& n : names)
        EXPECT_EQ(transfer_test::readFile(dst_.file(n)), transfer_test::readFile(src_.file(n))) << n;
}

TEST_F(ZmodemInteropBatch, ThreeFilesToRz) {
    std::vector<std::string> names = {"one", "two.txt", "three.dat"}, paths;
    for (size_t i = 0; i < names.size(); ++i) {
        paths.push_back(src_.file(names[i]));
        transfer_test::writeFile(paths.back(), transfer_test::testData(3000 * (i + 1), uint32_t(i)));
    }
    interop::Peer rz({"rz", "-q"}, dst_.path(), line_.slave(), logs_.file("rz.log"));
    FdChannel channel(line_.master());
    TransferContext ctx(channel, nullptr, {}, interopTimings());
    EXPECT_EQ(zmodemSend(ctx, paths), 0);
    rz.wait(5s);
    for (const auto& n : names)
        EXPECT_EQ(transfer_test::readFile(dst_.file(n)), transfer_test::readFile(src_.file(n))) << n;
}

// The terminal spotted sz's ZRQINIT and consumed it; the receive that starts then offers ZRINIT
// first and completes.
TEST_F(ZmodemInteropBatch, AutomaticStartAfterTheDetectorAteZrqinit) {
    const auto data = transfer_test::testData(20000, 9);
    transfer_test::writeFile(src_.file("auto.bin"), data);
    EXPECT_EQ(receiveFromSz(line_, src_, dst_, logs_, {"auto.bin"}, true), 1);
    EXPECT_EQ(transfer_test::readFile(dst_.file("auto.bin")), data);
}

// A receiver that stops reading and then cancels: our sender, stuck on a full line, hears the
// cancel instead of waiting for the write to time out. (rz itself is no reliable witness here: on a
// pty its last bytes can be flushed away as it exits.)
TEST_F(ZmodemInteropBatch, CancelWhileTheLineIsFull) {
    using namespace zmodem;
    transfer_test::writeFile(src_.file("big.bin"), transfer_test::testData(4 << 20, 5));
    std::atomic<bool> cancelled{false};
    std::thread receiver([&] {
        FdChannel ch(line_.slave());
        TransferContext ctx(ch, nullptr, {}, interopTimings());
        ZmodemInput in(ctx);
        for (int i = 0; i < 20; ++i) {
            const auto r = in.readHeader(Clock::now() + 2s);
            if (r.status != Status::Ok)
                continue;
            ctx.write(zmodem_script::openingAnswer(r.header.type));
            if (r.header.type == ZFILE)
                break;
        }
        // Reads nothing more until the line is full, then gives up.
        const auto limit = Clock::now() + 5s;
        for (int pending = 0; pending < 4000 && Clock::now() < limit;) {
            ioctl(line_.slave(), FIONREAD, &pending);
            std::this_thread::yield();
        }
        std::vector<uint8_t> out;
        appendCancel(out);
        ctx.write(out);
        cancelled = true;
    });
    FdChannel channel(line_.master());
    TransferTimings t = interopTimings();
    t.writeStall = 20s;
    TransferContext ctx(channel, nullptr, {}, t);
    const auto t0 = Clock::now();
    EXPECT_EQ(zmodemSend(ctx, {src_.file("big.bin")}), TransferErrRemoteAbort);
    EXPECT_LT(Clock::now() - t0, 5s);
    receiver.join();
    EXPECT_TRUE(cancelled);
}

} // namespace
