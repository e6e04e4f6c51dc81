#include "local8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Local8, BytesBecomeLatin1WithTheFullStopPair) {
    struct Case {
        std::string bytes;
        QString text;
    };
    const Case cases[] = {
        {"", QString()},
        {"OK\r\n", QStringLiteral("OK\r\n")},
        {"error\xA1\x43\nPlease", QStringLiteral("error\u3002\nPlease")},
        {"\xA1\x43\xA1\x43", QStringLiteral("\u3002\u3002")},
        {"end\xA1", QStringLiteral("end\u00A1")},         // lead byte alone at the end
        {"\xA1\x41", QStringLiteral("\u00A1A")},          // lead byte before another byte
        {"\xA1\xA1\x43", QStringLiteral("\u00A1\u3002")}, // the pair after a lone lead byte
        {"caf\xE9", QStringLiteral("caf\u00E9")},
        {std::string("a\0b", 3), QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(gui::fromLocal8(c.bytes), c.text);
        EXPECT_EQ(gui::toLocal8(c.text), c.bytes);
    }
}

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
