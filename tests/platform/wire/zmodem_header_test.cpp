#include "zmodem_header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace wire::zmodem;

// What follows "ZPAD ZPAD ZDLE ZHEX" in an encoded hex header: the fourteen digits.
std::vector<uint8_t> hexDigitsOf(const Header& h) {
    std::vector<uint8_t> out;
    appendHexHeader(out, h);
    return {out.begin() + 4, out.begin() + 4 + kHexHeaderDigits};
}

TEST(ZmodemHeader, HexHeaderIsTheKnownZrqinitAndDecodesBack) {
    std::vector<uint8_t> out;
    appendHexHeader(out, Header::at(ZRQINIT, 0));
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string("**\x18"
                                                               "B00000000000000\r\x8a\x11"));
    Header h{0xFF};
    EXPECT_EQ(decodeHexHeader(hexDigitsOf(Header::at(ZRPOS, 0x12345678)).data(), h), HeaderCheck::Ok);
    EXPECT_EQ(h.type, ZRPOS);
    EXPECT_EQ(h.position(), 0x12345678u);
}

TEST(ZmodemHeader, HexDigitsEitherCaseButNothingElse) {
    auto digits = hexDigitsOf(Header::flags(ZRINIT, CANFDX | CANFC32, 0, 0x1c, 0xab));
    for (auto& d : digits)
        d = uint8_t(toupper(d));
    Header h;
    EXPECT_EQ(decodeHexHeader(digits.data(), h), HeaderCheck::Ok);
    EXPECT_EQ(h.zf0(), CANFDX | CANFC32);
    digits[13] = 'g';
    EXPECT_EQ(decodeHexHeader(digits.data(), h), HeaderCheck::NotHex);
    digits[0] = '0' | 0x80;
    Header untouched{0xFF};
    EXPECT_EQ(decodeHexHeader(digits.data(), untouched), HeaderCheck::NotHex);
    EXPECT_EQ(untouched.type, 0xFF);
}

struct BinaryCase {
    const char* name;
    bool crc32;
};

class BinaryHeader : public testing::TestWithParam<BinaryCase> {};

TEST_P(BinaryHeader, DecodesWhatWasEncodedAndCatchesAFlippedBit) {
    const bool crc32 = GetParam().crc32;
    std::vector<uint8_t> out;
    Escaper esc;
    // 0x18 (ZDLE) and 0x11 (XON) in the body are escaped on the wire.
    appendBinaryHeader(out, Header::at(ZDATA, 0x18001100), crc32, esc);
    ASSERT_EQ(out[2], crc32 ? ZBIN32 : ZBIN);
    std::vector<uint8_t> plain;
    for (size_t i = 3; i < out.size(); ++i)
        plain.push_back(out[i] == ZDLE ? uint8_t(out[++i] ^ 0x40) : out[i]);
    ASSERT_EQ(plain.size(), binaryHeaderBytes(crc32));
    Header h;
    EXPECT_EQ(decodeBinaryHeader(plain.data(), crc32, h), HeaderCheck::Ok);
    EXPECT_EQ(h.type, ZDATA);
    EXPECT_EQ(h.position(), 0x18001100u);
    plain[2] ^= 0x04;
    EXPECT_EQ(decodeBinaryHeader(plain.data(), crc32, h), HeaderCheck::BadCrc);
}

INSTANTIATE_TEST_SUITE_P(Crc, BinaryHeader,
                         testing::Values(BinaryCase{"Crc16", false}, BinaryCase{"Crc32", true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
