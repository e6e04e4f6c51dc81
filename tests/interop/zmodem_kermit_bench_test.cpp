// Throughput of our ZMODEM and Kermit pairs next to the peer programs' pairs, over one pty line.
// Not part of the test suite (disabled); bench/transfer_zk.sh runs it and prints the figures.

#include "../platform/seriallib/transfer_test_support.h"
#include "fd_channel.h"
#include "kermit_session.h"
#include "receive_folder.h"
#include "zmodem_session.h"
#include "zmodem_test_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;
using Seconds = std::chrono::duration<double>;

constexpr double kLineRate = 11520; // a 115200-baud line, in bytes per second

size_t sizeFromEnv(const char* name, size_t fallback) {
    const char* v = std::getenv(name);
    return v ? size_t(std::strtoull(v, nullptr, 10)) : fallback;
}

// One transfer over a fresh line (two ptys joined, throttled when rate > 0); the time until the
// receiving side is done and the file is complete, or a negative time when it failed.
struct Timing {
    double seconds = -1;
};

using Side = std::function<bool(interop::PtyLine& line, const std::string& src, const std::string& dst)>;

Timing timeRun(size_t size, double rate, const Side& receiver, const Side& sender) {
    ScratchDir src, dst;
    const auto data = transfer_test::testData(size, 11);
    transfer_test::writeFile(src.file("bench.bin"), data);
    interop::PtyLine a, b;
    interop::PtyBridge bridge(a, b, rate);
    const auto t0 = std::chrono::steady_clock::now();
    std::atomic<bool> received{false};
    auto rx = transfer_test::runAsync([&] {
        const bool ok = receiver(a, src.path(), dst.path());
        received = true;
        return ok;
    });
    // The time is when the whole file is there: a peer that lingers over its goodbye does not count.
    auto watch = transfer_test::runAsync([&] {
        std::error_code ec;
        while (!received && std::filesystem::file_size(dst.file("bench.bin"), ec) != size)
            std::this_thread::sleep_for(2ms);
        return Seconds(std::chrono::steady_clock::now() - t0).count();
    });
    sender(b, src.path(), dst.path());
    const bool ok = rx.get();
    const double seconds = watch.get();
    Timing r;
    if (ok && transfer_test::readFile(dst.file("bench.bin")) == data)
        r.seconds = seconds;
    return r;
}

TransferTimings benchTimings() {
    TransferTimings t;
    t.responseWait = 20s; // a throttled line holds a lot in its buffers
    t.blockWait = 20s;
    return t;
}

bool ourZmodemReceive(interop::PtyLine& line, const std::string&, const std::string& dst) {
    FdChannel ch(line.slave());
    ReceiveFolder folder(dst);
    FolderFiles files(folder);
    TransferContext ctx(ch, nullptr, {}, benchTimings());
    return zmodemReceive(ctx, files) == 1;
}
bool ourZmodemSend(interop::PtyLine& line, const std::string& src, const std::string&) {
    FdChannel ch(line.slave());
    TransferContext ctx(ch, nullptr, {}, benchTimings());
    return zmodemSend(ctx, {src + "/bench.bin"}) == 0;
}
bool ourKermitReceive(interop::PtyLine& line, const std::string&, const std::string& dst) {
    FdChannel ch(line.slave());
    ReceiveFolder folder(dst);
    FolderFiles files(folder);
    TransferContext ctx(ch, nullptr, {}, benchTimings());
    return kermitReceive(ctx, files) == 1;
}
bool ourKermitSend(interop::PtyLine& line, const std::string& src, const std::string&) {
    FdChannel ch(line.slave());
    TransferContext ctx(ch, nullptr, {}, benchTimings());
    return kermitSend(ctx, {src + "/bench.bin"}) == 0;
}

// A peer program on the line's slave; done when it exits (its receiver) or when the file is complete.
Side program(std::vector<std::string> argv, bool onStdio, bool runsInDst) {
    return
        [argv, onStdio, runsInDst](interop::PtyLine& line, const std::string& src, const std::string& dst) {
            std::vector<std::string> args = argv;
            for (auto& a : args)
                if (a == "@LINE")
                    a = line.slavePath();
            interop::Peer peer(args, runsInDst ? dst : src, onStdio ? line.slave() : -1, "/dev/null");
            // A receiver gets all the time the transfer takes; a sender only a little after its receiver.
            return peer.wait(runsInDst ? 3600s : 30s) == 0;
        };
}

void report(const char* what, size_t size, Timing ours, Timing theirs, double rate) {
    if (rate > 0) {
        auto eff = [&](Timing r) { return r.seconds > 0 ? 100.0 * double(size) / (r.seconds * rate) : 0.0; };
        std::printf(
            "%-8s %8zu bytes at %5.0f B/s: ours %7.2f s (%5.1f%% of the line), peers %7.2f s (%5.1f%%)\n",
            what, size, rate, ours.seconds, eff(ours), theirs.seconds, eff(theirs));
    } else {
        std::printf("%-8s %8zu bytes unthrottled: ours %7.3f s, peers %7.3f s, ratio peers/ours %.2f\n", what,
                    size, ours.seconds, theirs.seconds,
                    ours.seconds > 0 ? theirs.seconds / ours.seconds : 0.0);
    }
    std::fflush(stdout);
}

TEST(ZmodemKermitBench, DISABLED_Throughput) {
    const size_t big = sizeFromEnv("BENCH_SIZE", 8u << 20);
    const size_t slow = sizeFromEnv("BENCH_SLOW_SIZE", 128u << 10);
    const Side sz = program({"sz", "-q", "bench.bin"}, true, false);
    const Side rz = program({"rz", "-q"}, true, true);
    const Side cks =
        program({"kermit", "-Y", "-l", "@LINE", "-b", "115200", "-i", "-s", "bench.bin"}, false, false);
    const Side ckr = program({"kermit", "-Y", "-l", "@LINE", "-b", "115200", "-i", "-r"}, false, true);

    // Unthrottled runs are repeated and the best of each kept: the machine may be busy.
    const int repeat = int(sizeFromEnv("BENCH_REPEAT", 5));
    auto best = [&](size_t size, double rate, const Side& rx, const Side& tx) {
        Timing r;
        for (int i = 0; i < (rate > 0 ? 1 : repeat); ++i) {
            const Timing t = timeRun(size, rate, rx, tx);
            if (t.seconds < 0)
                return t; // a failed run shows as such
            if (r.seconds < 0 || t.seconds < r.seconds)
                r = t;
        }
        return r;
    };
    for (double rate : {0.0, kLineRate}) {
        const size_t size = rate > 0 ? slow : big;
        report("ZMODEM", size, best(size, rate, ourZmodemReceive, ourZmodemSend), best(size, rate, rz, sz),
               rate);
        report("Kermit", size, best(size, rate, ourKermitReceive, ourKermitSend), best(size, rate, ckr, cks),
               rate);
    }
}

} // namespace
