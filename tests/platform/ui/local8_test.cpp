#include "local8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Local8Case {
    const char* name;
    std::string bytes;
    QString text;
};

class Local8Text : public testing::TestWithParam<Local8Case> {};

TEST_P(Local8Text, BytesBecomeLatin1WithTheFullStopPair) {
    const Local8Case& c = GetParam();
    EXPECT_EQ(gui::fromLocal8(c.bytes), c.text);
    EXPECT_EQ(gui::toLocal8(c.text), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Local8Text,
    testing::Values(Local8Case{"Empty", "", QString()},
                    Local8Case{"Plain", "OK\r\n", QStringLiteral("OK\r\n")},
                    Local8Case{"FullStopPair", "error\xA1\x43\nPlease",
                               QStringLiteral("error\u3002\nPlease")},
                    Local8Case{"TwoPairs", "\xA1\x43\xA1\x43", QStringLiteral("\u3002\u3002")},
                    // lead byte alone at the end
                    Local8Case{"LeadByteAtTheEnd", "end\xA1", QStringLiteral("end\u00A1")},
                    // lead byte before another byte
                    Local8Case{"LeadByteBeforeAnotherByte", "\xA1\x41", QStringLiteral("\u00A1A")},
                    // the pair after a lone lead byte
                    Local8Case{"PairAfterALoneLeadByte", "\xA1\xA1\x43", QStringLiteral("\u00A1\u3002")},
                    Local8Case{"Latin1", "caf\xE9", QStringLiteral("caf\u00E9")},
                    Local8Case{"Nul", std::string("a\0b", 3),
                               QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")}),
    [](const testing::TestParamInfo<Local8Case>& i) { return std::string(i.param.name); });

TEST(Local8, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(gui::toLocal8(gui::fromLocal8(all)), all);
    EXPECT_EQ(gui::fromLocal8(all).size(), 256); // 0xA1 is followed by 0xA2 here, so no pair
}

TEST(Local8, CharactersBeyondLatin1BecomeQuestionMarks) {
    EXPECT_EQ(gui::toLocal8(QStringLiteral("a\u20ACb\u3002")), std::string("a?b\xA1\x43"));
}

} // namespace
