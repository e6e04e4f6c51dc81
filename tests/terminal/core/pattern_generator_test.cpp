#include "pattern_generator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace terminal;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(PatternGenerator, HexFieldText) {
    struct Case {
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"", {}},
        {"68656C6C6F", {0x68, 0x65, 0x6C, 0x6C, 0x6F}},
        {"ABC", {0xAB, 0x0C}},
        {"abc", {0xAB, 0x0C}},
        {"3", {0x03}},
        {"FF00", {0xFF, 0x00}},
        {"G1", {0x71}}, // pasted: 'G' is worth its code minus '0' (23), 23 * 16 + 1 = 0x171, low 8 bits kept
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hexTextToBytes(c.text), c.bytes) << c.text;
    }
    const std::string hello = "hello";
    EXPECT_EQ(bytesToHexText(Bytes(hello.begin(), hello.end())), "68656C6C6F");
    EXPECT_EQ(bytesToHexText(Bytes{0x00, 0x0A, 0xFF}), "000AFF");
}

TEST(PatternGenerator, RangeAndRepeatTexts) {
    EXPECT_EQ(rangeByte(""), 0);
    EXPECT_EQ(rangeByte("7"), 7);
    EXPECT_EQ(rangeByte("ff"), 255);
    EXPECT_EQ(rangeByte("Fe"), 254);
    EXPECT_EQ(rangeByte("123"), 0x12) << "two digits at most";
    EXPECT_EQ(repeatCountValue(""), 0u);
    EXPECT_EQ(repeatCountValue("99999999"), 99999999u);
    EXPECT_EQ(repeatCountValue("99999999999"), 999999999u) << "no overflow";
}

struct StartSendCase {
    const char* name;
    PatternEntries entries;
    int message;
    std::string text;
    size_t passLength;
};

const StartSendCase StartSendCases[] = {
    {"Range00To00", {PatternType::Range, {}, "00", "00"}, PatternNoRange, "", 0},
    {"RangeBothEmpty", {PatternType::Range, {}, "", ""}, PatternNoRange, "", 0},
    {"RangeEndBelowStart", {PatternType::Range, {}, "42", "41"}, PatternNoRange, "", 0},
    {"Range41To41", {PatternType::Range, {}, "41", "41"}, PatternOk, "41..41", 1},
    {"Range0ToFF", {PatternType::Range, {}, "0", "FF"}, PatternOk, "0..ff", 256},
    {"Range00To01", {PatternType::Range, {}, "00", "01"}, PatternOk, "0..1", 2},
    {"EmptyASCII", {PatternType::Ascii, {}, "", ""}, PatternNoBytes, "", 0},
    {"EmptyHEX", {PatternType::Hex, {}, "", ""}, PatternNoBytes, "", 0},
    {"HEX", {PatternType::Hex, {0xAB, 0x0C}, "", ""}, PatternOk, "ABC", 2},
    {"Repeat0",
     {PatternType::Hex, {0xAB}, "", "", PatternCountMode::RepeatCount, "0"},
     PatternBadRepeat,
     "ABC",
     1},
    {"RepeatEmpty",
     {PatternType::Hex, {0xAB}, "", "", PatternCountMode::RepeatCount, ""},
     PatternBadRepeat,
     "ABC",
     1},
    {"Repeat0UntilBreakIsFine",
     {PatternType::Hex, {0xAB}, "", "", PatternCountMode::UntilUserBreak, "0"},
     PatternOk,
     "ABC",
     1},
};

class PatternStartSend : public testing::TestWithParam<StartSendCase> {};

TEST_P(PatternStartSend, StartSendChecks) {
    const StartSendCase& c = GetParam();
    const PatternCheck check = checkPattern(c.entries, "ABC");
    EXPECT_EQ(check.message, c.message) << c.name;
    if (c.message == PatternOk) {
        EXPECT_EQ(check.patternText, c.text) << c.name;
        EXPECT_EQ(check.pass.size(), c.passLength) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(PatternGenerator, PatternStartSend, testing::ValuesIn(StartSendCases),
                         [](const testing::TestParamInfo<StartSendCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(PatternGenerator, TheFullRangeAndTheMessageTexts) {
    const PatternCheck full = checkPattern({PatternType::Range, {}, "0", "ff"}, "");
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(full.pass[size_t(b)], b);
    }
    EXPECT_EQ(patternMessageText(PatternNoRange), "No pattern defined !");
    EXPECT_EQ(patternMessageText(PatternBadRepeat), "Repeat count error");
}

// A port that records what reaches the line, with scripted short and failed writes and a fake clock.
struct FakeLine {
    Bytes line;
    std::vector<int> limits; // per write: at most this many bytes, negative = fails; then all
    size_t writes = 0;
    int stopAfterWrites = -1;
    int flushes = 0;
    std::vector<long> progress;
    std::chrono::steady_clock::time_point clock{};
    std::chrono::milliseconds perWrite{0};

    PatternLoopHooks hooks() {
        PatternLoopHooks h;
        h.waitStop = [this](std::chrono::milliseconds) {
            return stopAfterWrites >= 0 && writes >= size_t(stopAfterWrites);
        };
        h.write = [this](const uint8_t* data, size_t n) {
            const int limit = writes < limits.size() ? limits[writes] : int(n);
            ++writes;
            clock += perWrite;
            if (limit < 0) {
                return -8;
            }
            const size_t taken = std::min(n, size_t(limit));
            line.insert(line.end(), data, data + taken);
            return int(taken);
        };
        h.flush = [this] { ++flushes; };
        h.progress = [this](long count) { progress.push_back(count); };
        h.now = [this] { return clock; };
        return h;
    }
};

Bytes repeated(const Bytes& pass, int times) {
    Bytes out;
    for (int i = 0; i < times; ++i) {
        out.insert(out.end(), pass.begin(), pass.end());
    }
    return out;
}

TEST(PatternGenerator, RepeatCountEndsAfterExactlyThatManyPasses) {
    const Bytes pass = {1, 2, 3};
    FakeLine port;
    EXPECT_EQ(runPatternLoop(pass, PatternCountMode::RepeatCount, 5, port.hooks()), 5);
    EXPECT_EQ(port.line, repeated(pass, 5));
    EXPECT_EQ(port.flushes, 0) << "a job that reaches its count is not flushed";
    EXPECT_TRUE(port.progress.empty()) << "under a second nothing is reported";
}

TEST(PatternGenerator, StopFlushesAndEndsTheJob) {
    const Bytes pass = {'A', 'B'};
    FakeLine port;
    port.stopAfterWrites = 7;
    EXPECT_EQ(runPatternLoop(pass, PatternCountMode::UntilUserBreak, 0, port.hooks()), 7);
    EXPECT_EQ(port.flushes, 1);
    EXPECT_EQ(port.line, repeated(pass, 7));
}

TEST(PatternGenerator, CutPassesAreFinishedSoTheLineOnlyCarriesWholeOnes) {
    const Bytes pass = {'A', 'B', 'C', 'D'};
    FakeLine port;
    port.limits = {2, 2, -1, 1, 0, 3, 4};
    EXPECT_EQ(runPatternLoop(pass, PatternCountMode::RepeatCount, 3, port.hooks()), 3);
    EXPECT_EQ(port.line, repeated(pass, 3));

    // Stopped in the middle of a cut pass: the piece is not counted.
    FakeLine stopped;
    stopped.limits = {4, 1};
    stopped.stopAfterWrites = 2;
    EXPECT_EQ(runPatternLoop(pass, PatternCountMode::UntilUserBreak, 0, stopped.hooks()), 1);
}

TEST(PatternGenerator, ProgressAtMostOnceASecond) {
    FakeLine port;
    port.perWrite = 300ms;
    EXPECT_EQ(runPatternLoop(Bytes{0x55}, PatternCountMode::RepeatCount, 10, port.hooks()), 10);
    EXPECT_EQ(port.progress, (std::vector<long>{4, 8})) << "reported when more than 1000 ms have passed";
}

} // namespace
