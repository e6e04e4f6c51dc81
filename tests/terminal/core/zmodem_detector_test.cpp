#include "zmodem_detector.h"

#include <gtest/gtest.h>

#include <string>

using namespace terminal;

namespace {

using namespace std::string_literals;

// What lrzsz's sz writes first on the line: "rz\r", a hex ZRQINIT, CR, LF with bit 7 set, XON.
const std::string SzOpening = "rz\r**\x18"s + "B00000000000000\r\x8a\x11";
const std::string Zrqinit = "**\x18"s + "B00000000000000";

int feedWhole(ZmodemDetector& d, const std::string& s, size_t* end = nullptr) {
    const ZmodemDetection r = d.ZmodemDetect(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    if (end) {
        *end = r.end;
    }
    return r.headers;
}

int feedBytewise(ZmodemDetector& d, const std::string& s) {
    int headers = 0;
    for (char c : s) {
        const uint8_t b = static_cast<uint8_t>(c);
        headers += d.ZmodemDetect(&b, 1).headers;
    }
    return headers;
}

TEST(ZmodemDetector, Crc16IsXmodemWithItsBytesSwapped) {
    const std::string check = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xC331);
    const uint8_t zrinit[] = {0x01, 0x00, 0x00, 0x00, 0x23};
    EXPECT_EQ(Crc16(zrinit, 5), 0x50BE);
    EXPECT_EQ(Crc16(nullptr, 0), 0);
}

TEST(ZmodemDetector, SenderOpeningFoundWholeAndByteByByte) {
    ZmodemDetector whole;
    size_t end = 0;
    ASSERT_EQ(feedWhole(whole, SzOpening, &end), 1);
    EXPECT_EQ(end, 21u) << "the header ends after its 14 hex digits; CR, LF and XON follow";
    EXPECT_TRUE(whole.collecting()) << "left as found until the transfer resets it";

    ZmodemDetector bytewise;
    for (size_t i = 0; i < SzOpening.size(); ++i) {
        const uint8_t b = static_cast<uint8_t>(SzOpening[i]);
        const ZmodemDetection r = bytewise.ZmodemDetect(&b, 1);
        EXPECT_EQ(r.headers, i == 20 ? 1 : 0) << i;
        if (r.headers) {
            EXPECT_EQ(r.end, 1u);
        }
    }
}

TEST(ZmodemDetector, FoundAtEverySplitIntoTwoRuns) {
    for (size_t split = 0; split <= SzOpening.size(); ++split) {
        ZmodemDetector d;
        const int first = feedWhole(d, SzOpening.substr(0, split));
        const int second = feedWhole(d, SzOpening.substr(split));
        EXPECT_EQ(first + second, 1) << split;
        EXPECT_EQ(first, split >= 21 ? 1 : 0) << split;
    }
}

struct StreamCase {
    const char* name;
    std::string stream;
    int headers;
};

std::vector<StreamCase> streamCases() {
    const std::string filler100(100, 'x');
    return {
        {"PlainHexZRQINIT", Zrqinit, 1},
        {"NonZeroFlagsLowerCaseCRC", "**\x18"s + "B00010203040d03", 1},
        {"UpperCaseCRC", "**\x18"s + "B00010203040D03", 1},
        {"CRCBytesSwapped", "**\x18"s + "B0001020304030d", 0},
        {"WrongCRCThenAGoodHeaderInTheSameRun", "**\x18"s + "B00000000000001" + Zrqinit, 1},
        {"OnePad", "*\x18"s + "B00000000000000", 1},
        {"PadTwoZDLEs", "*\x18\x18"s + "B00000000000000", 1},
        {"BinaryZRQINIT", "*\x18"s + "A" + std::string(7, '\0'), 1},
        // Flags 18 3A 00 00 with CRC 9C00: right once unescaped, but the escape makes it too short.
        {"BinaryWithAnEscapedFlagByte", "*\x18"s + "A\x00\x18\x58\x3a\x00\x00\x9c\x00"s, 0},
        {"BinaryWithAnEscapeThenAGoodHeader", "*\x18"s + "A\x00\x18\x58\x00\x00\x00\x00"s + Zrqinit, 1},
        {"PadOtherByteZDLE", "*x\x18"s + "B00000000000000", 0},
        {"ZDLEWithoutAPad", "\x18"s + "B00000000000000", 0},
        {"BAfterALonePad", "*B00000000000000", 0},
        {"NonHexDigitInTheCRC", "**\x18"s + "B0000000000000g", 0},
        {"NonHexDigitInTheType", "**\x18"s + "Bz0000000000000" + Zrqinit, 0},
        {"TheReceiversZRINIT", "**\x18"s + "B0100000023be50\r\x8a\x11", 0},
        {"ZRINITSwallowsAHeaderThatFollowsClosely", "**\x18"s + "B0100000023be50" + Zrqinit, 0},
        {"ZRINITThen100BytesThenAHeader", "**\x18"s + "B0100000023be50" + filler100 + Zrqinit, 1},
        {"ARepeatRightAfterAMatchIsSwallowed", SzOpening + SzOpening, 1},
        {"ARepeatAfterTheBufferFilledIsFoundAgain", SzOpening + filler100 + SzOpening, 2},
        {"TextOnly", "hello, world\r\n", 0},
    };
}

class ZmodemDetectorStreams : public testing::TestWithParam<StreamCase> {};

TEST_P(ZmodemDetectorStreams, Streams) {
    const StreamCase& c = GetParam();
    ZmodemDetector whole;
    EXPECT_EQ(feedWhole(whole, c.stream), c.headers) << c.name;
    ZmodemDetector bytewise;
    EXPECT_EQ(feedBytewise(bytewise, c.stream), c.headers) << c.name << " (byte by byte)";
}

INSTANTIATE_TEST_SUITE_P(ZmodemDetector, ZmodemDetectorStreams, testing::ValuesIn(streamCases()),
                         [](const testing::TestParamInfo<StreamCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(ZmodemDetector, ResetForgetsHalfAHeader) {
    ZmodemDetector d;
    ASSERT_EQ(feedWhole(d, Zrqinit.substr(0, 9)), 0);
    ASSERT_TRUE(d.collecting());
    d.ResetZmodemDetect();
    EXPECT_FALSE(d.collecting());
    EXPECT_EQ(feedWhole(d, Zrqinit.substr(9)), 0);

    ZmodemDetector pad;
    feedWhole(pad, "**\x18"s);
    pad.ResetZmodemDetect();
    EXPECT_EQ(feedWhole(pad, "B00000000000000"), 0) << "the start pattern is forgotten too";

    ZmodemDetector found;
    ASSERT_EQ(feedWhole(found, SzOpening), 1);
    found.ResetZmodemDetect();
    EXPECT_EQ(feedWhole(found, SzOpening), 1) << "after the transfer's reset the next opening is found";
}

TEST(ZmodemDetector, NeverHoldsMoreThanItsBuffer) {
    ZmodemDetector d;
    feedWhole(d, "**\x18"s + "B01" + std::string(500, '7'));
    EXPECT_LE(d.collected(), ZmodemDetector::BufferSize);
    EXPECT_EQ(feedWhole(d, Zrqinit), 1);
}

} // namespace
