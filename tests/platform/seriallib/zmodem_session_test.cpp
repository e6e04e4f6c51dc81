#include "batch_protocols.h"
#include "memory_channel.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_test_support.h"
#include "zmodem_frame.h"
#include "zmodem_line_noise.h"
#include "zmodem_script.h"
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
    return batch_test::Zmodem::timings();
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
    const auto r = batch_test::transfer<batch_test::Zmodem>(line, paths, dst.path(), {}, rxo, quick(), &tap);
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

struct Offer {
    std::string name, size, body;
};

// Our receiver takes a scripted sender's offer into folder, watching its progress; both succeed.
void receiveOffer(MemoryChannelPair& line, const std::string& folder, const Offer& offer,
                  TransferProgressCallback watch) {
    auto tx =
        transfer_test::runAsync([&] { return scriptedOffer(line.a(), offer.name, offer.size, offer.body); });
    ReceiveFolder rf(folder);
    FolderFiles files(rf);
    TransferContext ctx(line.b(), nullptr, std::move(watch), quick());
    EXPECT_EQ(zmodemReceive(ctx, files), 1);
    ASSERT_TRUE(transfer_test::ready(tx));
    EXPECT_EQ(tx.get(), 0);
}

class ZmodemHostileName : public testing::TestWithParam<const char*> {};

TEST_P(ZmodemHostileName, StaysInsideTheReceiveFolder) {
    const char* name = GetParam();
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

INSTANTIATE_TEST_SUITE_P(Names, ZmodemHostileName,
                         testing::Values("../../evil", "/tmp/evil", "a/b/evil", "..\\..\\evil", "..",
                                         "evil\x01\x1b[2J"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return "name_" + std::to_string(info.index) + "_" +
                                    transfer_test::rowName(info.param);
                         });

// A sender that claims 2^40 bytes gets no huge allocation or file from us: the file is what it sent,
// and the reported total is clamped to what the callback can carry.
TEST(ZmodemSession, ClaimedSizeOfTwoToTheFortyIsNotTrusted) {
    ScratchDir dst;
    MemoryChannelPair line;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    int lastTotal = 0;
    TransferProgressCallback watch = [&](int, int, int, int total) {
        lastTotal = total;
        return 0;
    };
    ASSERT_NO_FATAL_FAILURE(receiveOffer(line, dst.path(), {"huge", "1099511627776", "0123456789"}, watch));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024); // kilobytes
    EXPECT_EQ(lastTotal, INT_MAX);
    EXPECT_EQ(std::filesystem::file_size(dst.file("huge")), 10u);
}

// The size field of the file offer is a plain decimal number; anything else (a sign, trailing junk,
// more than 64 bits) is no size at all, and the total shown follows the data that really came.
struct SizeFieldCase {
    const char* size;
    int total;
};

void PrintTo(const SizeFieldCase& c, std::ostream* os) {
    *os << '"' << c.size << '"';
}

class ZmodemOfferedSize : public testing::TestWithParam<SizeFieldCase> {};

TEST_P(ZmodemOfferedSize, IsReadStrictly) {
    const SizeFieldCase& c = GetParam();
    ScratchDir dst;
    MemoryChannelPair line;
    std::vector<std::pair<int, int>> calls;
    TransferProgressCallback watch = [&](int done, int, int, int total) {
        calls.emplace_back(done, total);
        return 0;
    };
    ASSERT_NO_FATAL_FAILURE(receiveOffer(line, dst.path(), {"f", c.size, "hello"}, watch));
    EXPECT_EQ(transfer_test::readFile(dst.file("f")), std::vector<uint8_t>({'h', 'e', 'l', 'l', 'o'}));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), std::make_pair(5, c.total));
    for (const auto& [done, total] : calls)
        EXPECT_LE(done, total);
}

INSTANTIATE_TEST_SUITE_P(SizeFields, ZmodemOfferedSize,
                         testing::Values(SizeFieldCase{"12", 12}, SizeFieldCase{"3", 5},
                                         SizeFieldCase{"-5", 5}, SizeFieldCase{"+7", 5},
                                         SizeFieldCase{"9x", 5}, SizeFieldCase{"", 5},
                                         SizeFieldCase{"18446744073709551621", 5}),
                         [](const testing::TestParamInfo<SizeFieldCase>& info) {
                             return "size_" + transfer_test::rowName(info.param.size) + "_row_" +
                                    std::to_string(info.index);
                         });

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
        uint32_t pos = 0;
        int requests = 0;
        while (!done && requests < 2000) {
            const auto r = in.readHeader(Clock::now() + 100ms);
            if (r.status != Status::Ok)
                continue;
            if (r.header.type == ZDATA && r.header.position() == pos) {
                pos += 16;
                ++requests;
                ctx.write(zmodem_script::hexHeader(Header::at(ZRPOS, pos)));
            } else {
                ctx.write(zmodem_script::openingAnswer(r.header.type));
            }
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
struct NoiseCase {
    const char* name;
    double rate;
    int good; // runs that must succeed on both sides; -1: any number
};

void PrintTo(const NoiseCase& c, std::ostream* os) {
    *os << c.name;
}

class ZmodemNoisyLine : public testing::TestWithParam<NoiseCase> {};

TEST_P(ZmodemNoisyLine, EndsInTheExactFileOrAFailure) {
    const double rate = GetParam().rate;
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
    std::vector<std::future<Run>> runs;
    for (uint64_t seed = 1; seed <= 6; ++seed)
        runs.push_back(transfer_test::runAsync([&, seed] { return run(rate, seed); }));
    int good = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run r = runs[i].get();
        SCOPED_TRACE(::testing::Message() << "seed " << i + 1);
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
    if (GetParam().good >= 0) {
        EXPECT_EQ(good, GetParam().good);
    }
}

// A light rate lets every run through, a heavy one none.
INSTANTIATE_TEST_SUITE_P(Rates, ZmodemNoisyLine,
                         testing::Values(NoiseCase{"light", 1e-3, 6}, NoiseCase{"noisy", 1e-2, -1},
                                         NoiseCase{"spoilt", 5e-2, 0}),
                         [](const testing::TestParamInfo<NoiseCase>& info) { return info.param.name; });

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
                out = zmodem_script::zrinit();
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
                out = zmodem_script::zrinit();
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
