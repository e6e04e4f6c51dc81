// The set-up strings that shells and full-screen programs send on a Linux far side (bracketed paste,
// mode lists from reset, keypad and VT52 modes, empty numbers in attribute strings), through the
// shipped "ansi" and "vt100" files: none of them leaves text on the screen, and each does what the
// capability it is described as says.
#include "test_support.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace terminal;
using termtest::Terminal;

namespace {

struct SwitchCase {
    const char* sequence;
    std::vector<std::string> events;
    // Where the "Z" typed after the sequence lands, and with which attribute.
    int row;
    int column;
    uint16_t attribute;
};

// The cursor stands at row 2, column 5, after "abcde", with the normal attribute.
constexpr int Row = 2;
constexpr int Column = 5;

const SwitchCase Cases[] = {
    {"\x1b[?2004h", {"exit_alt_charset_mode( any=004)"}, Row, Column, AttrNormal},
    {"\x1b[?2004l", {"exit_alt_charset_mode( any=004)"}, Row, Column, AttrNormal},
    {"\x1b[?1049h", {"exit_alt_charset_mode( any=1049)"}, Row, Column, AttrNormal},
    {"\x1b[?1049l", {"exit_alt_charset_mode( any=1049)"}, Row, Column, AttrNormal},
    {"\x1b[?1h", {"exit_alt_charset_mode( any=1)"}, Row, Column, AttrNormal},
    {"\x1b[?12l", {"exit_alt_charset_mode( any=12)"}, Row, Column, AttrNormal},
    {"\x1b[?7h", {"exit_alt_charset_mode( any=7)"}, Row, Column, AttrNormal},
    {"\x1b[?2l", {"exit_alt_charset_mode()"}, Row, Column, AttrNormal},
    {"\x1b[?7;8h", {"exit_alt_charset_mode( any=7;8)"}, Row, Column, AttrNormal},
    {"\x1b[?3;4;5l", {"exit_alt_charset_mode( any=3;4;5)"}, Row, Column, AttrNormal},
    {"\x1b<", {"exit_alt_charset_mode()"}, Row, Column, AttrNormal},
    {"\x1b=", {"exit_alt_charset_mode()"}, Row, Column, AttrNormal},
    {"\x1b>", {"exit_alt_charset_mode()"}, Row, Column, AttrNormal},
    // What reset sends for the stock vt100 entry, whole.
    {"\x1b<\x1b>\x1b[?3;4;5l\x1b[?7;8h\x1b[r",
     {"exit_alt_charset_mode()", "exit_alt_charset_mode()", "exit_alt_charset_mode( any=3;4;5)",
      "exit_alt_charset_mode( any=7;8)", "cursor_home()"},
     0,
     0,
     AttrNormal},
    // The cursor's own switches keep their meaning beside the others.
    {"\x1b[?25l", {"cursor_invisible()"}, Row, Column, AttrNormal},
    {"\x1b[?25h", {"cursor_normal()"}, Row, Column, AttrNormal},
    {"\x1b[r", {"cursor_home()"}, 0, 0, AttrNormal},
    {"\x1b[;4m", {"set_attribute(4)"}, Row, Column, AttrNormal | AttrUnderline},
    {"\x1b[;7;4m", {"set_attribute(7,4)"}, Row, Column, AttrNormal | AttrReverse | AttrUnderline},
    {"\x1b[7m\x1b[;m", {"set_attribute(7)", "exit_attribute_mode()"}, Row, Column, AttrNormal},
};

using SwitchRow = std::tuple<const char*, SwitchCase>;

class ModeSwitchRows : public testing::TestWithParam<SwitchRow> {};

TEST_P(ModeSwitchRows, LeaveNoTextAndDoWhatTheirCapabilitySays) {
    const char* file = std::get<0>(GetParam());
    const SwitchCase& c = std::get<1>(GetParam());
    const auto table = termtest::shipped(file);
    ASSERT_NE(table, nullptr);
    SequenceRecogniser recogniser(table);
    termtest::RecordingSink sink;
    const std::string sequence(c.sequence);
    recogniser.feed(termtest::bytes(sequence), sequence.size(), sink);
    EXPECT_EQ(sink.events, c.events) << file << " " << termtest::visible(sequence);

    Terminal t(table);
    t << "\x1b[3;1Habcde" << sequence << "Z";
    const std::string where = std::string(file) + " " + termtest::visible(sequence);
    std::string expected(static_cast<size_t>(c.column), ' ');
    if (c.row == Row)
        expected.replace(0, Column, "abcde");
    EXPECT_EQ(t.row(c.row), expected + "Z") << where;
    if (c.row != Row) {
        EXPECT_EQ(t.row(Row), "abcde") << where;
    }
    EXPECT_EQ(t.attr(c.column, c.row), c.attribute) << where;
    EXPECT_EQ(t.screen.cursorVisible(), sequence != "\x1b[?25l") << where;
    EXPECT_FALSE(t.screen.altCharset()) << where;
    EXPECT_EQ(t.screen.scrollTop(), 0) << where;
    EXPECT_EQ(t.screen.scrollBottom(), t.screen.screenLines() - 1) << where;
}

INSTANTIATE_TEST_SUITE_P(ModeSwitches, ModeSwitchRows,
                         testing::Combine(testing::Values("ansi", "vt100"), testing::ValuesIn(Cases)),
                         [](const testing::TestParamInfo<SwitchRow>& i) {
                             return std::string(std::get<0>(i.param)) + "_" +
                                    termtest::rowName(std::get<1>(i.param).sequence);
                         });

// Bracketed paste around every prompt must not move the line editing: the prompt and the typed text
// stay where the shell put them, with the cursor after them.
TEST(ModeSwitches, BracketedPastePromptsStayInPlace) {
    for (const char* file : {"ansi", "vt100"}) {
        Terminal t(termtest::shipped(file));
        t << "\x1b[?2004h$ ls\r\n\x1b[?2004l\rfile\r\n\x1b[?2004h$ ";
        EXPECT_EQ(t.row(0), "$ ls") << file;
        EXPECT_EQ(t.row(1), "file") << file;
        EXPECT_EQ(t.row(2), "$") << file;
        EXPECT_EQ(t.screen.cursorColumn(), 2) << file;
    }
}

// A mode switch cut short is not swallowed whole: what follows it still shows.
TEST(ModeSwitches, AnUnfinishedSwitchGivesItsBytesBack) {
    for (const char* file : {"ansi", "vt100"}) {
        Terminal t(termtest::shipped(file));
        t << "\x1b[?123456x";
        EXPECT_EQ(t.row(0), "[?123456x") << file;
    }
}

} // namespace
