#include "memory_channel.h"
#include "seriallib.h"
#include "transfer_test_support.h"
#include "zmodem_frame.h"
#include "zmodem_line_noise.h"
#include "zmodem_session.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <climits>
#include <mutex>
#include <thread>

namespace {

using namespace seriallib;
using namespace std::chrono_literals;
using transfer_test::ScratchDir;

TransferTimings quick() {
    TransferTimings t;
    t.startWait = 3s;
    t.startInterval = 300ms;
    t.startTries = 10;
    t.responseWait = 300ms;
    t.blockWait = 300ms;
    t.retries = 20;
    return t;
}

// Passes everything through and keeps a copy of what was written.
class TapChannel : public ByteChannel {
public:
    explicit TapChannel(ByteChannel& inner) : inner_(inner) {}
    int read(uint8_t* b, size_t n, Clock::time_point d) override { return inner_.read(b, n, d); }
    int write(const uint8_t* b, size_t n, Clock::time_point d) override {
        const int w = inner_.write(b, n, d);
        if (w > 0) {
            std::lock_guard lock(mutex_);
            written_.insert(written_.end(), b, b + w);
        }
        return w;
    }
    void purgeInput() override { inner_.purgeInput(); }
    std::vector<uint8_t> written() {
        std::lock_guard lock(mutex_);
        return written_;
    }

private:
    ByteChannel& inner_;
    std::mutex mutex_;
    std::vector<uint8_t> written_;
};

struct Outcome {
    int sent = 0;
    int received = 0;
};

Outcome transfer(MemoryChannelPair& line, const std::vector<std::string>& paths, const std::string& folder,
                 const ZmodemOptions& receiverOptions = {}, ByteChannel* senderChannel = nullptr) {
    ReceiveFolder rf(folder);
    FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        return zmodemReceive(ctx, files, receiverOptions);
    });
    TransferContext ctx(senderChannel ? *senderChannel : line.a(), nullptr, {}, quick());
    const int sent = zmodemSend(ctx, paths);
    EXPECT_TRUE(transfer_test::ready(rx));
    return {sent, rx.get()};
}

TEST(ZmodemSession, FilesOfEverySizeArriveIdentical) {
    for (size_t size :
         {size_t(0), size_t(1), size_t(1023), size_t(1024), size_t(1025), size_t(8192 + 3), size_t(65536)}) {
        SCOPED_TRACE(size);
        ScratchDir src, dst;
        const auto data = transfer_test::testData(size, uint32_t(size));
        transfer_test::writeFile(src.file("f.bin"), data);
        MemoryChannelPair line;
        const auto r = transfer(line, {src.file("f.bin")}, dst.path());
        EXPECT_EQ(r.sent, 0);
        EXPECT_EQ(r.received, 1);
        EXPECT_EQ(dst.names(), std::vector<std::string>{"f.bin"});
        EXPECT_EQ(transfer_test::readFile(dst.file("f.bin")), data);
    }
}

TEST(ZmodemSession, BatchOfThreeWithEscapingAndAWindowedReceiver) {
    ScratchDir src, dst;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(src.file("file" + std::to_string(i)));
        transfer_test::writeFile(paths.back(), transfer_test::testData(5000 + size_t(i) * 3000, uint32_t(i)));
    }
    MemoryChannelPair line;
    TapChannel tap(line.a());
    ZmodemOptions rxo;
    rxo.receiveBuffer = 2048;
    rxo.escapeAll = true;
    const auto r = transfer(line, paths, dst.path(), rxo, &tap);
    EXPECT_EQ(r.sent, 0);
    EXPECT_EQ(r.received, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(transfer_test::readFile(dst.file("file" + std::to_string(i))),
                  transfer_test::readFile(paths[size_t(i)]));
    // The sender waited for an acknowledgement after each 2 KiB and escaped every control byte.
    const auto wire = tap.written();
    int waits = 0;
    for (size_t i = 0; i + 1 < wire.size(); ++i) {
        if (wire[i] == zmodem::ZDLE && wire[i + 1] == zmodem::ZCRCW)
            ++waits;
        if (wire[i] == zmodem::ZDLE) {
            ++i;
            continue;
        }
        if ((wire[i] & 0x60) != 0 && (wire[i] & 0x7f) != 0x7f)
            continue;
        // Raw control bytes only in the hex headers' line ends.
        EXPECT_TRUE(wire[i] == '\r' || wire[i] == 0x8a || wire[i] == zmodem::XON) << i;
    }
    EXPECT_GE(waits, (5000 + 8000 + 11000) / 2048 - 3);
}

TEST(ZmodemSession, NoiseAndLossMidFileAreRepaired) {
    struct Case {
        const char* name;
        LineFaults forward, back;
    };
    LineFaults noise;
    noise.fault = [](uint64_t i, uint8_t& b) {
        if ((i > 20000 && i < 20040) || (i > 41000 && i < 41010))
            b ^= 0x5a;
        return true;
    };
    LineFaults loss;
    loss.fault = [](uint64_t i, uint8_t&) { return !(i > 9000 && i < 9100) && i != 30001; };
    LineFaults random;
    random.corrupt = 0.0005;
    random.drop = 0.0005;
    random.seed = 42;
    LineFaults backNoise;
    backNoise.corrupt = 0.01;
    backNoise.seed = 5;
    const Case cases[] = {
        {"noise bursts", noise, {}},
        {"dropped bytes", loss, {}},
        {"random faults both ways", random, backNoise},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir src, dst;
        const auto data = transfer_test::testData(65536, 3);
        transfer_test::writeFile(src.file("noisy"), data);
        MemoryChannelPair line(c.forward, c.back);
        const auto r = transfer(line, {src.file("noisy")}, dst.path());
        EXPECT_EQ(r.sent, 0);
        EXPECT_EQ(r.received, 1);
        EXPECT_EQ(transfer_test::readFile(dst.file("noisy")), data);
    }
}

TEST(ZmodemSession, PeerCancelMidFileLeavesNoFile) {
    ScratchDir src, dst;
    transfer_test::writeFile(src.file("big"), transfer_test::testData(200000));
    // The sender's user gives up after a few blocks: its cancel reaches the receiver.
    int blocks = 0;
    TransferProgressCallback giveUp = [&](int, int, int, int) { return ++blocks > 20 ? -1 : 0; };
    MemoryChannelPair line;
    ReceiveFolder rf(dst.path());
    FolderFiles files(rf);
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        return zmodemReceive(ctx, files);
    });
    TransferContext ctx(line.a(), nullptr, giveUp, quick());
    EXPECT_EQ(zmodemSend(ctx, {src.file("big")}), TransferErrUserAbort);
    ASSERT_TRUE(transfer_test::ready(rx));
    EXPECT_EQ(rx.get(), TransferErrRemoteAbort);
    EXPECT_TRUE(dst.names().empty());
}

TEST(ZmodemSession, AbortFromAnotherThreadEndsPromptlyAndThePeerHearsIt) {
    for (bool abortReceiver : {false, true}) {
        SCOPED_TRACE(abortReceiver);
        ScratchDir src, dst;
        transfer_test::writeFile(src.file("big"), transfer_test::testData(400000));
        // A slow line, so that the transfer is still running when the abort comes.
        LineFaults slow;
        slow.delay = 2ms;
        MemoryChannelPair line(slow, slow);
        PortAbort abort;
        std::atomic<bool> started{false};
        // The aborting side holds still at its first block until the abort has been asked for, so
        // that the abort always lands mid-transfer.
        TransferProgressCallback hold = [&](int done, int, int, int) {
            if (done > 0 && !started.exchange(true)) {
                while (!abort.transmit && !abort.receive)
                    std::this_thread::yield();
            }
            return 0;
        };
        ReceiveFolder rf(dst.path());
        FolderFiles files(rf);
        auto rx = transfer_test::runAsync([&] {
            TransferContext ctx(line.b(), abortReceiver ? &abort : nullptr, abortReceiver ? hold : nullptr,
                                quick());
            return zmodemReceive(ctx, files);
        });
        auto tx = transfer_test::runAsync([&] {
            TransferContext ctx(line.a(), abortReceiver ? nullptr : &abort, abortReceiver ? nullptr : hold,
                                quick());
            return zmodemSend(ctx, {src.file("big")});
        });
        while (!started)
            std::this_thread::yield();
        const auto t0 = Clock::now();
        (abortReceiver ? abort.receive : abort.transmit) = true;
        auto& mine = abortReceiver ? rx : tx;
        ASSERT_TRUE(transfer_test::ready(mine, 1s));
        EXPECT_LT(Clock::now() - t0, 200ms);
        EXPECT_EQ(mine.get(), TransferErrAborted);
        auto& peer = abortReceiver ? tx : rx;
        ASSERT_TRUE(transfer_test::ready(peer, 5s));
        EXPECT_EQ(peer.get(), TransferErrRemoteAbort);
        EXPECT_TRUE(dst.names().empty());
    }
}

// A hand-driven sender: offers one file with whatever name and size it likes, then sends `body`.
int scriptedOffer(ByteChannel& channel, const std::string& name, const std::string& size,
                  const std::string& body) {
    using namespace zmodem;
    TransferContext ctx(channel, nullptr, {}, quick());
    ZmodemInput in(ctx);
    auto await = [&](uint8_t type) {
        for (int i = 0; i < 20; ++i) {
            const auto r = in.readHeader(Clock::now() + 1s);
            if (r.status == Status::Ok && r.header.type == type)
                return true;
        }
        return false;
    };
    std::vector<uint8_t> out;
    Escaper esc;
    appendHexHeader(out, Header::at(ZRQINIT, 0));
    ctx.write(out);
    if (!await(ZRINIT))
        return -1;
    out.clear();
    std::string info = name + '\0' + size + " 0 0 0 1 " + size + '\0';
    appendBinaryHeader(out, Header::flags(ZFILE, ZCBIN), true, esc);
    appendSubpacket(out, reinterpret_cast<const uint8_t*>(info.data()), info.size(), ZCRCW, true, esc);
    ctx.write(out);
    if (!await(ZRPOS))
        return -2;
    out.clear();
    appendBinaryHeader(out, Header::at(ZDATA, 0), true, esc);
    appendSubpacket(out, reinterpret_cast<const uint8_t*>(body.data()), body.size(), ZCRCE, true, esc);
    appendBinaryHeader(out, Header::at(ZEOF, uint32_t(body.size())), true, esc);
    ctx.write(out);
    if (!await(ZRINIT))
        return -3;
    out.clear();
    appendHexHeader(out, Header::at(ZFIN, 0));
    ctx.write(out);
    if (!await(ZFIN))
        return -4;
    const uint8_t oo[] = {'O', 'O'};
    ctx.write(oo, 2);
    return 0;
}

TEST(ZmodemSession, HostileNamesStayInsideTheReceiveFolder) {
    for (const char* name :
         {"../../evil", "/tmp/evil", "a/b/evil", "..\\..\\evil", "..", "evil\x01\x1b[2J"}) {
        SCOPED_TRACE(name);
        ScratchDir outer;
        const std::string folder = outer.file("in");
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        MemoryChannelPair line;
        auto tx = transfer_test::runAsync([&] { return scriptedOffer(line.a(), name, "5", "hello"); });
        ReceiveFolder rf(folder);
        FolderFiles files(rf);
        TransferContext ctx(line.b(), nullptr, {}, quick());
        EXPECT_EQ(zmodemReceive(ctx, files), 1);
        ASSERT_TRUE(transfer_test::ready(tx));
        EXPECT_EQ(tx.get(), 0);
        EXPECT_EQ(outer.names(), std::vector<std::string>{"in"});
        ASSERT_EQ(files.completed().size(), 1u);
        const std::filesystem::path got(files.completed()[0]);
        EXPECT_EQ(got.parent_path(), std::filesystem::path(folder));
        EXPECT_EQ(transfer_test::readFile(got.string()), std::vector<uint8_t>({'h', 'e', 'l', 'l', 'o'}));
        for (char c : got.filename().string())
            EXPECT_FALSE(uint8_t(c) < 0x20 || c == '/' || c == '\\') << got;
    }
}

// A sender that claims 2^40 bytes gets no huge allocation or file from us: the file is what it sent,
// and the reported total is clamped to what the callback can carry.
TEST(ZmodemSession, ClaimedSizeOfTwoToTheFortyIsNotTrusted) {
    ScratchDir dst;
    MemoryChannelPair line;
    auto tx = transfer_test::runAsync(
        [&] { return scriptedOffer(line.a(), "huge", "1099511627776", "0123456789"); });
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    int lastTotal = 0;
    TransferProgressCallback watch = [&](int, int, int, int total) {
        lastTotal = total;
        return 0;
    };
    ReceiveFolder rf(dst.path());
    FolderFiles files(rf);
    TransferContext ctx(line.b(), nullptr, watch, quick());
    EXPECT_EQ(zmodemReceive(ctx, files), 1);
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // kilobytes
    EXPECT_EQ(lastTotal, INT_MAX);
    EXPECT_EQ(std::filesystem::file_size(dst.file("huge")), 10u);
}

// The size field of the file offer is a plain decimal number; anything else (a sign, trailing junk,
// more than 64 bits) is no size at all, and the total shown follows the data that really came.
TEST(ZmodemSession, OfferedSizeIsReadStrictly) {
    const struct {
        const char* size;
        int total;
    } cases[] = {{"12", 12}, {"3", 5}, {"-5", 5}, {"+7", 5}, {"9x", 5}, {"", 5}, {"18446744073709551621", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ScratchDir dst;
        MemoryChannelPair line;
        auto tx = transfer_test::runAsync([&] { return scriptedOffer(line.a(), "f", c.size, "hello"); });
        std::vector<std::pair<int, int>> calls;
        TransferProgressCallback watch = [&](int done, int, int, int total) {
            calls.emplace_back(done, total);
            return 0;
        };
        ReceiveFolder rf(dst.path());
        FolderFiles files(rf);
        TransferContext ctx(line.b(), nullptr, watch, quick());
        EXPECT_EQ(zmodemReceive(ctx, files), 1);
        ASSERT_TRUE(transfer_test::ready(tx));
        EXPECT_EQ(tx.get(), 0);
        EXPECT_EQ(transfer_test::readFile(dst.file("f")), std::vector<uint8_t>({'h', 'e', 'l', 'l', 'o'}));
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), std::make_pair(5, c.total));
        for (const auto& [done, total] : calls)
            EXPECT_LE(done, total);
    }
}

// A line so bad that each restart gets only a few bytes through: the receiver keeps asking for data
// a little further on. The sender gives up after a bounded number of such requests instead of
// crawling through the file.
TEST(ZmodemSession, SenderGivesUpWhenRetriesBuyTooLittle) {
    using namespace zmodem;
    ScratchDir src;
    transfer_test::writeFile(src.file("big"), transfer_test::testData(1 << 20, 8));
    MemoryChannelPair line;
    std::atomic<bool> done{false};
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        ZmodemInput in(ctx);
        std::vector<uint8_t> out;
        uint32_t pos = 0;
        int requests = 0;
        while (!done && requests < 2000) {
            const auto r = in.readHeader(Clock::now() + 100ms);
            if (r.status != Status::Ok)
                continue;
            out.clear();
            if (r.header.type == ZRQINIT) {
                appendHexHeader(out, Header::flags(ZRINIT, CANFDX | CANOVIO | CANFC32));
            } else if (r.header.type == ZFILE) {
                appendHexHeader(out, Header::at(ZRPOS, 0));
            } else if (r.header.type == ZDATA && r.header.position() == pos) {
                pos += 16;
                ++requests;
                appendHexHeader(out, Header::at(ZRPOS, pos));
            }
            ctx.write(out);
        }
        return requests;
    });
    TransferContext ctx(line.a(), nullptr, {}, quick());
    EXPECT_EQ(zmodemSend(ctx, {src.file("big")}), TransferErrProtocol);
    done = true;
    ASSERT_TRUE(transfer_test::ready(rx));
    const int requests = rx.get();
    EXPECT_GT(requests, quick().retries);
    EXPECT_LT(requests, 3 * quick().retries);
}

// Seeded noise both ways, from a merely noisy line to one that spoils nearly everything: every run
// ends in bounded time, with the exact file and success, or with failure codes and no file. Neither
// side ever reports success without the other having the whole file.
TEST(ZmodemSession, NoisyLineEndsInTheExactFileOrAFailure) {
    struct Run {
        int sent = 0, received = 0;
        bool exact = false, empty = false;
        double seconds = 0;
    };
    const auto data = transfer_test::testData(24000, 4);
    auto run = [&](double rate, uint64_t seed) {
        ScratchDir src, dst;
        transfer_test::writeFile(src.file("f"), data);
        MemoryChannelPair line;
        transfer_test::NoisyChannel noisy(line.a(), transfer_test::Noise::mixed(rate, seed),
                                          transfer_test::Noise::mixed(rate, seed + 1000));
        TransferTimings t = quick();
        t.retries = 10;
        const auto t0 = Clock::now();
        ReceiveFolder rf(dst.path());
        FolderFiles files(rf);
        auto rx = transfer_test::runAsync([&] {
            TransferContext ctx(line.b(), nullptr, {}, t);
            return zmodemReceive(ctx, files);
        });
        TransferContext ctx(noisy, nullptr, {}, t);
        Run r;
        r.sent = zmodemSend(ctx, {src.file("f")});
        r.received = transfer_test::ready(rx, 60s) ? rx.get() : 99;
        r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        r.exact =
            dst.names() == std::vector<std::string>{"f"} && transfer_test::readFile(dst.file("f")) == data;
        r.empty = dst.names().empty();
        return r;
    };
    for (double rate : {1e-3, 1e-2, 5e-2}) {
        std::vector<std::future<Run>> runs;
        for (uint64_t seed = 1; seed <= 6; ++seed)
            runs.push_back(transfer_test::runAsync([&, rate, seed] { return run(rate, seed); }));
        int good = 0;
        for (size_t i = 0; i < runs.size(); ++i) {
            const Run r = runs[i].get();
            SCOPED_TRACE(::testing::Message() << "rate " << rate << " seed " << i + 1);
            EXPECT_LT(r.seconds, 30);
            if (r.received == 1) {
                EXPECT_TRUE(r.exact);
                EXPECT_TRUE(r.sent == 0 || r.sent < 0);
                good += r.sent == 0;
            } else {
                EXPECT_LT(r.received, 0);
                EXPECT_LT(r.sent, 0);
                EXPECT_TRUE(r.empty);
            }
        }
        if (rate <= 1e-3) {
            EXPECT_EQ(good, 6) << rate;
        }
        if (rate >= 5e-2) {
            EXPECT_EQ(good, 0) << rate;
        }
    }
}

// A receiver that already has the first file answers ZSKIP: the sender goes on with the next.
TEST(ZmodemSession, SenderHonoursZskip) {
    using namespace zmodem;
    ScratchDir src;
    const auto first = transfer_test::testData(3000, 1), second = transfer_test::testData(2000, 2);
    transfer_test::writeFile(src.file("have"), first);
    transfer_test::writeFile(src.file("want"), second);
    MemoryChannelPair line;
    auto rx = transfer_test::runAsync([&] {
        TransferContext ctx(line.b(), nullptr, {}, quick());
        ZmodemInput in(ctx);
        std::vector<uint8_t> out, sub, got;
        int offers = 0;
        for (int steps = 0; steps < 200; ++steps) {
            const auto r = in.readHeader(Clock::now() + 1s);
            if (r.status != Status::Ok)
                return std::vector<uint8_t>{};
            const bool c32 = r.encoding == ZBIN32;
            out.clear();
            switch (r.header.type) {
            case ZRQINIT:
                appendHexHeader(out, Header::flags(ZRINIT, CANFDX | CANOVIO | CANFC32));
                break;
            case ZFILE:
                in.readSubpacket(sub, 1024, c32, Clock::now() + 1s);
                appendHexHeader(out, Header::at(offers++ == 0 ? ZSKIP : ZRPOS, 0));
                break;
            case ZDATA:
                for (;;) {
                    const auto sp = in.readSubpacket(sub, 8192, c32, Clock::now() + 1s);
                    if (sp.status != Status::Ok)
                        return std::vector<uint8_t>{};
                    got.insert(got.end(), sub.begin(), sub.end());
                    if (sp.end == ZCRCE || sp.end == ZCRCW)
                        break;
                }
                break;
            case ZEOF:
                appendHexHeader(out, Header::flags(ZRINIT, CANFDX | CANOVIO | CANFC32));
                break;
            case ZFIN:
                appendHexHeader(out, Header::at(ZFIN, 0));
                ctx.write(out);
                return got;
            default:
                break;
            }
            if (!out.empty())
                ctx.write(out);
        }
        return std::vector<uint8_t>{};
    });
    TransferContext ctx(line.a(), nullptr, {}, quick());
    EXPECT_EQ(zmodemSend(ctx, {src.file("have"), src.file("want")}), 0);
    ASSERT_TRUE(transfer_test::ready(rx));
    EXPECT_EQ(rx.get(), second);
}

} // namespace
