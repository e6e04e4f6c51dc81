#include "alt_charset.h"
#include "receive_pipeline.h"
#include "screen_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

using namespace terminal;
using termtest::Terminal;

namespace {

struct Cell {
    int column;
    int row;
    uint16_t attribute;
};

struct ScreenCase {
    const char* file;
    std::string input;
    std::map<int, std::string> rows; // rows not listed must be blank
    int column;
    int row;
    std::vector<Cell> cells = {};
};

// Every screen row labelled "L<row>" at its start.
std::string labels(int lines = 24) {
    std::string s;
    for (int r = 0; r < lines; ++r)
        s += "\x1b[" + std::to_string(r + 1) + ";1HL" + std::to_string(r);
    return s;
}

std::map<int, std::string> labelRows(std::map<int, std::string> changes, int lines = 24) {
    std::map<int, std::string> rows;
    for (int r = 0; r < lines; ++r)
        rows[r] = "L" + std::to_string(r);
    for (auto& [r, text] : changes)
        rows[r] = text;
    for (auto it = rows.begin(); it != rows.end();)
        it = it->second.empty() ? rows.erase(it) : std::next(it);
    return rows;
}

// The labelled rows with row `row` cut after `keep` characters and every row below it blank.
std::map<int, std::string> erasedBelow(int row, size_t keep) {
    std::map<int, std::string> changes;
    changes[row] = ("L" + std::to_string(row)).substr(0, keep);
    for (int r = row + 1; r < 24; ++r)
        changes[r] = "";
    return labelRows(changes);
}

// The labelled rows after a line was inserted (+1) or deleted (-1) at `row` in a region ending at `bottom`.
std::map<int, std::string> shifted(int row, int bottom, int delta) {
    std::map<int, std::string> changes;
    for (int r = row; r <= bottom; ++r) {
        const int from = r - delta;
        changes[r] = from < row || from > bottom ? "" : "L" + std::to_string(from);
    }
    return labelRows(changes);
}

void check(const ScreenCase& c) {
    Terminal t(termtest::shipped(c.file),
               std::string_view(c.file) == "ansi" ? TerminalType::Ansi : TerminalType::Vt100);
    t << c.input;
    const std::string where = std::string(c.file) + ": " + termtest::visible(c.input);
    for (int r = 0; r < t.screen.screenLines(); ++r) {
        const auto it = c.rows.find(r);
        EXPECT_EQ(t.row(r), it == c.rows.end() ? "" : it->second) << where << " row " << r;
    }
    EXPECT_EQ(t.screen.cursorColumn(), c.column) << where;
    EXPECT_EQ(t.screen.cursorRow(), c.row) << where;
    for (const Cell& cell : c.cells)
        EXPECT_EQ(t.attr(cell.column, cell.row), cell.attribute)
            << where << " attribute at " << cell.column << "," << cell.row;
}

// The row's place in its table, its description and the start of its input.
std::string screenCaseName(const testing::TestParamInfo<ScreenCase>& info) {
    return "Row" + std::to_string(info.index) + "_" + info.param.file + "_" +
           termtest::rowName(info.param.input).substr(0, 40);
}

std::vector<ScreenCase> textAndCursorMovementCases() {
    return {
        {"vt100", "abc\r\ndef", {{0, "abc"}, {1, "def"}}, 3, 1},
        {"vt100", "abc\ndef", {{0, "abc"}, {1, "   def"}}, 6, 1},
        {"vt100", std::string(80, 'x') + "Y", {{0, std::string(79, 'x') + "Y"}}, 79, 0},
        {"vt100",
         std::string("a\0\x01"
                     "b\x1b\x7f",
                     6),
         {{0, "ab\x7f"}},
         3,
         0},
        {"vt100", "\x1b[5;10HX", {{4, "         X"}}, 10, 4},
        {"vt100", "\x1b[5;10f", {}, 9, 4},
        {"vt100", "\x1b[0;0H", {}, 0, 0},
        {"vt100", "\x1b[99;999H", {}, 79, 23},
        {"vt100", "\x1b[5;5H\x1b[2A\x1b[3D\x1b[10B\x1b[100C", {}, 79, 12},
        {"vt100", "\x1b[5;5H\x1b[0C\x1b[0A", {}, 4, 4},
        {"vt100", "\x1b[5;5H\x1b[99A\x1b[99D", {}, 0, 0},
        {"vt100", "\x1b[2;2H\x1b[A\x1b[A\x1b[D\x1b[D\x1b[D\b", {}, 0, 0},
        {"vt100", "\x1b[24;80H\x1b[B\x1b[C", {}, 79, 23},
        {"vt100",
         "\x1b[5;5H\x1b"
         "7\x1b[H\x1b"
         "8",
         {},
         4,
         4},
        {"vt100", "\x1b[5;5H\x1b[H", {}, 0, 0},
        {"ansi", "\x1b[5;5H\x1b[s\x1b[H\x1b[u", {}, 4, 4},
        // Tabs: from 0, 8, 75 and the last column; back from 3, 8, 16 and 0.
        {"vt100", "\t", {}, 8, 0},
        {"vt100", "\x1b[1;9H\t", {}, 16, 0},
        {"vt100", "\x1b[1;76H\t", {}, 79, 0},
        {"vt100", "\x1b[1;80H\t", {}, 79, 0},
        {"ansi", "\x1b[I\x1b[I", {}, 16, 0},
        {"vt100", "\x1b[1;4H\x1b[Z", {}, 0, 0},
        {"vt100", "\x1b[1;9H\x1b[Z", {}, 0, 0},
        {"vt100", "\x1b[1;17H\x1b[Z", {}, 8, 0},
        {"vt100", "\x1b[Z", {}, 0, 0},
    };
}

class ScreenText : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenText, TextAndCursorMovement) {
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, ScreenText, testing::ValuesIn(textAndCursorMovementCases()),
                         screenCaseName);

std::vector<ScreenCase> erasingAndEditingCases() {
    const std::string ten = "abcdefghij";
    return {
        {"vt100", ten + "\x1b[1;6H\x1b[K", {{0, "abcde"}}, 5, 0},
        {"vt100", ten + "\x1b[1;6H\x1b[0K", {{0, "abcde"}}, 5, 0},
        {"vt100", ten + "\x1b[1;6H\x1b[1K", {{0, "      ghij"}}, 5, 0},
        {"vt100", ten + "\x1b[1;6H\x1b[2K", {}, 5, 0},
        {"vt100", ten + "\x1b[1;1H\x1b[1K", {{0, " bcdefghij"}}, 0, 0},
        {"vt100", ten + "\x1b[1;6H\x1b[3K", {{0, ten}}, 5, 0},
        {"vt100", labels() + "\x1b[3;2H\x1b[J", erasedBelow(2, 1), 1, 2},
        {"vt100", labels() + "\x1b[3;2H\x1b[1J", labelRows({{0, ""}, {1, ""}, {2, ""}}), 1, 2},
        {"vt100", labels() + "\x1b[3;2H\x1b[2J", {}, 1, 2},
        {"ansi", labels() + "\x1b[3;2H\x1b[2J", {}, 0, 0},
        {"ansi", labels() + "\x1b[3;2H\x1b[0J", erasedBelow(2, 1), 1, 2},
        {"vt100",
         labels() + "\x1b[3;2H\x1b"
                    "c",
         {},
         0,
         0},
        {"vt100", "AB\x1b[2D\x1b[@", {{0, " AB"}}, 0, 0},
        {"vt100", "ABC\x1b[3D\x1b[P", {{0, "BC"}}, 0, 0},
        {"vt100", std::string(80, 'x') + "\x1b[@", {{0, std::string(80, 'x')}}, 79, 0},
        {"vt100", std::string(80, 'x') + "\x1b[P", {{0, std::string(79, 'x')}}, 79, 0, {{79, 0, AttrNormal}}},
        {"vt100", labels() + "\x1b[3;1H\x1b[L", shifted(2, 23, 1), 0, 2},
        {"vt100", labels() + "\x1b[3;1H\x1b[M", shifted(2, 23, -1), 0, 2},
    };
}

class ScreenEditing : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenEditing, ErasingAndEditing) {
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, ScreenEditing, testing::ValuesIn(erasingAndEditingCases()),
                         screenCaseName);

std::vector<ScreenCase> scrollRegionsCases() {
    return {
        // LF at the bottom of rows 5-10 scrolls only those rows; the freed row has attribute 0.
        {"vt100",
         labels() + "\x1b[6;11r\x1b[11;1H\n",
         labelRows({{5, "L6"}, {6, "L7"}, {7, "L8"}, {8, "L9"}, {9, "L10"}, {10, ""}}),
         0,
         10,
         {{0, 10, 0}}},
        // Below the region LF moves down and stops at the last line without scrolling anything.
        {"vt100", labels() + "\x1b[6;11r\x1b[16;3H" + std::string(12, '\n'), labelRows({}), 2, 23},
        // Above the region LF moves into it and scrolls only at its bottom.
        {"vt100", labels() + "\x1b[6;11r\x1b[3;1H" + std::string(9, '\n'),
         labelRows({{5, "L6"}, {6, "L7"}, {7, "L8"}, {8, "L9"}, {9, "L10"}, {10, ""}}), 0, 10},
        {"vt100", labels() + "\x1b[6;11r\x1b[3;1H\x1b[L", labelRows({}), 0, 2},
        {"vt100", labels() + "\x1b[6;11r\x1b[3;1H\x1b[M", labelRows({}), 0, 2},
        {"vt100", labels() + "\x1b[6;11r\x1b[8;1H\x1b[L", shifted(7, 10, 1), 0, 7},
        {"vt100", labels() + "\x1b[6;11r\x1b[8;1H\x1b[M", shifted(7, 10, -1), 0, 7},
        // Reverse and forward index scroll the region wherever the cursor is, and leave it there.
        {"vt100", labels() + "\x1b[6;11r\x1b[8;4H\x1bM",
         labelRows({{5, ""}, {6, "L5"}, {7, "L6"}, {8, "L7"}, {9, "L8"}, {10, "L9"}}), 3, 7},
        {"vt100",
         labels() + "\x1b[6;11r\x1b[8;4H\x1b"
                    "D",
         labelRows({{5, "L6"}, {6, "L7"}, {7, "L8"}, {8, "L9"}, {9, "L10"}, {10, ""}}), 3, 7},
        {"vt100", labels() + "\x1b[H\x1bM", shifted(0, 23, 1), 0, 0},
        // The region is limited to the screen; a bottom above the top becomes the top.
        {"vt100", labels() + "\x1b[10;5r\x1b[10;1H\nX", labelRows({{9, "X"}}), 1, 9},
        {"vt100", labels() + "\x1b[0;99r\x1b[24;1H\n", shifted(0, 23, -1), 0, 23},
    };
}

class ScreenScroll : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenScroll, ScrollRegions) {
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, ScreenScroll, testing::ValuesIn(scrollRegionsCases()), screenCaseName);

TEST(ScreenModel, FullScreenScrollMovesTheTopLineIntoHistory) {
    for (auto type : {TerminalType::Vt100, TerminalType::Ansi}) {
        Terminal t(termtest::shipped(type == TerminalType::Ansi ? "ansi" : "vt100"), type);
        const int start = t.screen.screenStartLine();
        EXPECT_EQ(t.screen.historyCount(), HistoryLines) << "history counts as full from the start";
        t << labels() << "\x1b[24;1HZ\n";
        EXPECT_EQ(t.row(0), "L1");
        EXPECT_EQ(t.row(22), "Z23");
        EXPECT_EQ(t.row(23), "");
        EXPECT_EQ(t.attr(0, 23), AttrNormal);
        EXPECT_EQ(t.screen.screenStartLine(), start);
        EXPECT_EQ(t.screen.historyCount(), HistoryLines);
        const auto newest = t.screen.lineChars(start - 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(newest.data()), 2), "L0");
        // Thirty more scrolls: the history keeps the last 25 of the 31 lines that left the screen.
        for (int i = 0; i < 30; ++i)
            t << "\n";
        const auto oldest = t.screen.lineChars(0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(oldest.data()), 2), "L6");
        EXPECT_EQ(t.screen.historyCount(), HistoryLines);
    }
}

std::vector<ScreenCase> attributesCases() {
    return {
        {"vt100",
         "\x1b[7mA\x1b[mB\x1b[4;7mC\x1b[0mD\x1b[4mE\x1b[1;5mF",
         {{0, "ABCDEF"}},
         6,
         0,
         {{0, 0, 0x01FF}, {1, 0, 0x00FF}, {2, 0, 0x03FF}, {3, 0, 0x00FF}, {4, 0, 0x02FF}, {5, 0, 0x02FF}}},
        {"vt100", "\x1b[7m\x1b[0;4mA", {{0, "A"}}, 1, 0, {{0, 0, 0x02FF}}},
        // Erasing uses the current attribute; inserted and deleted cells are normal.
        {"vt100",
         "abc\x1b[7m\x1b[1;2H\x1b[K",
         {{0, "a"}},
         1,
         0,
         {{0, 0, 0x00FF}, {1, 0, 0x01FF}, {79, 0, 0x01FF}}},
        {"vt100", "\x1b[7mabc\x1b[1;1H\x1b[@", {{0, " abc"}}, 0, 0, {{0, 0, 0x00FF}, {1, 0, 0x01FF}}},
        {"ansi", "\x1b[4m\x1b[2J", {}, 0, 0, {{0, 0, 0x02FF}, {79, 23, 0x02FF}}},
        // Untouched cells of a cleared buffer have attribute 0.
        {"vt100", "", {}, 0, 0, {{0, 0, 0}, {79, 23, 0}}},
    };
}

class ScreenAttributes : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenAttributes, Attributes) {
    check(GetParam());
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, ScreenAttributes, testing::ValuesIn(attributesCases()), screenCaseName);

TEST(ScreenModel, StandoutIsReverse) {
    Terminal t(termtest::described("enter_standout_mode = \\E[7m\r\nexit_standout_mode = \\E[m\r\n"
                                   "enter_reverse_mode = \\E[R\r\n"));
    t << "\x1b[7mA\x1b[mB\x1b[RC";
    EXPECT_EQ(t.attr(0, 0), 0x01FF);
    EXPECT_EQ(t.attr(1, 0), 0x00FF);
    EXPECT_EQ(t.attr(2, 0), 0x01FF);
}

TEST(ScreenModel, AlternateCharacterSet) {
    Terminal t(termtest::shipped("vt100"));
    t << "\x1b(0qxlmtjkaq~\x1b(Bq\x0eq\x0fq";
    const std::string want = "\xC4\xB3\xDA\xC0\xC3\xD9\xBF\xB0\xC4\xFA"
                             "q\xC4q";
    EXPECT_EQ(t.row(0), want);
    EXPECT_EQ(altCharsetTable()['Q'], 'Q');
}

TEST(ScreenModel, ParametersPerDescription) {
    // Reversed and zero-based addressing; a missing second parameter reads as 0.
    Terminal reversed(
        termtest::described("cursor_address = \\E=%r%d;%dH\r\nchange_scroll_region = \\E[%i%dr\r\n"));
    reversed << "\x1b=7;3H";
    EXPECT_EQ(reversed.screen.cursorColumn(), 7);
    EXPECT_EQ(reversed.screen.cursorRow(), 3);
    reversed << "\x1b[5r";
    EXPECT_EQ(reversed.screen.scrollTop(), 4);
    EXPECT_EQ(reversed.screen.scrollBottom(), 4);
    Terminal oneBased(termtest::shipped("vt100"));
    oneBased << "\x1b[3;7r";
    EXPECT_EQ(oneBased.screen.scrollTop(), 2);
    EXPECT_EQ(oneBased.screen.scrollBottom(), 6);
    EXPECT_EQ(oneBased.screen.cursorRow(), 0);
}

TEST(ScreenModel, CursorVisibilityBellAndReports) {
    Terminal t(termtest::shipped("vt100"));
    t.screen.takeDamage();
    t << "\x1b[?25l";
    EXPECT_FALSE(t.screen.cursorVisible());
    EXPECT_TRUE(t.screen.takeDamage().cursorVisibilityChanged);
    t << "\x1b[?25h\a\a";
    EXPECT_TRUE(t.screen.cursorVisible());
    EXPECT_EQ(t.screen.takeDamage().bells, 2);
    t << "\x1b[6n\x1b[5;10H\x1b[6n";
    EXPECT_EQ(t.screen.takeReplies(), "\x1b[1;1R\x1b[5;10R");
    EXPECT_EQ(t.screen.takeReplies(), "");
}

TEST(ScreenModel, DamageNamesTheChangedRows) {
    Terminal t(termtest::shipped("vt100"));
    t.screen.takeDamage();
    t << "\x1b[3;1Hab\r\ncd";
    Damage d = t.screen.takeDamage();
    EXPECT_EQ(d.rows, (1u << 2) | (1u << 3));
    EXPECT_TRUE(d.cursorMoved);
    EXPECT_EQ(d.scrolled, 0);
    EXPECT_TRUE(t.screen.takeDamage().empty());
    t << "\x1b[24;1H\n\n";
    d = t.screen.takeDamage();
    EXPECT_EQ(d.scrolled, 2);
    EXPECT_EQ(d.rows, (1u << 24) - 1);
    t << "\x1b[6;11r\x1b[11;1H\n";
    EXPECT_EQ(t.screen.takeDamage().rows, ((1u << 11) - 1) & ~((1u << 5) - 1));
}

struct DumbCase {
    LineEndTranslation cr;
    LineEndTranslation lf;
    std::string input;
    std::map<int, std::string> rows;
    int column;
    int row;
};

const DumbCase DumbCases[] = {
    {LineEndTranslation::CrLf, LineEndTranslation::Unchanged, "ab\rcd", {{0, "ab"}, {1, "cd"}}, 2, 1},
    {LineEndTranslation::Cr, LineEndTranslation::Unchanged, "ab\rcd", {{0, "cd"}}, 2, 0},
    {LineEndTranslation::Lf, LineEndTranslation::Unchanged, "ab\rcd", {{0, "ab"}, {1, "  cd"}}, 4, 1},
    {LineEndTranslation::Unchanged, LineEndTranslation::Cr, "ab\ncd", {{0, "cd"}}, 2, 0},
    {LineEndTranslation::Unchanged, LineEndTranslation::CrLf, "ab\ncd", {{0, "ab"}, {1, "cd"}}, 2, 1},
    {LineEndTranslation::Unchanged,
     LineEndTranslation::Unchanged,
     std::string(81, 'w'),
     {{0, std::string(80, 'w')}, {1, "w"}},
     1,
     1},
    {LineEndTranslation::Unchanged,
     LineEndTranslation::Unchanged,
     std::string("a\0\x1b"
                 "b",
                 4),
     {{0, std::string("a\0\x1b"
                      "b",
                      4)}},
     4,
     0},
};

class ScreenDumb : public testing::TestWithParam<DumbCase> {};

TEST_P(ScreenDumb, DumbTerminal) {
    const DumbCase& c = GetParam();
    ScreenState s;
    ASSERT_TRUE(s.AllocScreenBuffer(80, 25, HistoryLines, TerminalType::Dumb));
    s.setTranslations(c.cr, c.lf);
    s.PutDumbChars(termtest::bytes(c.input), c.input.size());
    for (int r = 0; r < 25; ++r) {
        const auto chars = s.rowChars(r);
        std::string row(reinterpret_cast<const char*>(chars.data()), chars.size());
        row.erase(row.find_last_not_of(' ') + 1);
        const auto it = c.rows.find(r);
        EXPECT_EQ(row, it == c.rows.end() ? "" : it->second) << termtest::visible(c.input) << " row " << r;
    }
    EXPECT_EQ(s.cursorColumn(), c.column) << termtest::visible(c.input);
    EXPECT_EQ(s.cursorRow(), c.row) << termtest::visible(c.input);
}

INSTANTIATE_TEST_SUITE_P(ScreenModel, ScreenDumb, testing::ValuesIn(DumbCases),
                         [](const testing::TestParamInfo<DumbCase>& i) {
                             return "Row" + std::to_string(i.index) + "_" +
                                    termtest::rowName(i.param.input).substr(0, 40);
                         });

TEST(ScreenModel, DumbHistoryGrowsToItsLimit) {
    ScreenState s;
    ASSERT_TRUE(s.AllocScreenBuffer(80, 25, HistoryLines, TerminalType::Dumb));
    EXPECT_EQ(s.historyCount(), 0);
    EXPECT_EQ(s.screenStartLine(), 0);
    s.setTranslations(LineEndTranslation::CrLf, LineEndTranslation::Lf);
    for (int i = 0; i < 60; ++i) {
        const std::string line = std::to_string(i) + "\r";
        s.PutDumbChars(termtest::bytes(line), line.size());
        EXPECT_EQ(s.historyCount(), std::max(0, std::min(i - 23, HistoryLines)));
    }
    EXPECT_EQ(s.screenStartLine(), HistoryLines);
    // Lines 36-59 are on the screen above the empty last row; 11-35 are the history.
    const auto oldest = s.lineChars(0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(oldest.data()), 3), "11 ");
}

TEST(ScreenModel, LineAccessorsStayInsideTheBuffers) {
    Terminal t(termtest::shipped("vt100"));
    const int lines = t.screen.bufferLines();
    EXPECT_EQ(lines, 24 + HistoryLines);
    for (int n : {-1, lines, lines + 100, -1000})
        EXPECT_TRUE(t.screen.lineChars(n).empty() && t.screen.lineAttrs(n).empty()) << n;
    for (int r : {-1, 24})
        EXPECT_TRUE(t.screen.rowChars(r).empty() && t.screen.rowAttrs(r).empty()) << r;
    EXPECT_EQ(t.screen.lineChars(lines - 1).size(), 80u);
    ScreenState none;
    EXPECT_TRUE(none.lineChars(0).empty());
    none.PutTerminalChars(termtest::bytes("abc\n"), 4);
    none.RunCapability(CapClearScreen);
    EXPECT_EQ(none.CopyText(0, 0, 5, 5), "");
    EXPECT_FALSE(none.AllocScreenBuffer(0, 24, HistoryLines, TerminalType::Vt100));
}

TEST(ScreenModel, SnapshotCopiesLinesAndCursor) {
    Terminal t(termtest::shipped("vt100"));
    t << "\x1b[2;1Hplain \x1b[7mrev\x1b[m\x1b[24;1Hbottom\x1b[5;9H";
    const int top = t.screen.screenStartLine();
    ScreenSnapshot shot;
    t.screen.snapshot(top + 1, top + 1, shot);
    EXPECT_EQ(shot.firstLine, top + 1);
    EXPECT_EQ(shot.lineCount, 1);
    EXPECT_EQ(shot.columns, 80);
    EXPECT_EQ(shot.bufferLines, t.screen.bufferLines());
    EXPECT_EQ(shot.screenStart, top);
    EXPECT_EQ(shot.cursorLine, top + 4);
    EXPECT_EQ(shot.cursorColumn, 8);
    EXPECT_TRUE(shot.cursorVisible);
    const auto chars = shot.lineChars(top + 1);
    ASSERT_EQ(chars.size(), 80u);
    EXPECT_EQ(std::string(chars.begin(), chars.begin() + 9), "plain rev");
    EXPECT_EQ(shot.lineAttrs(top + 1)[6] & AttrReverse, AttrReverse);
    EXPECT_EQ(shot.lineAttrs(top + 1)[5] & AttrReverse, 0);
    EXPECT_TRUE(shot.lineChars(top).empty()) << "a line not asked for";

    // A later change does not reach a snapshot taken before it; ranges are limited to the buffer.
    t << "\x1b[2;1HXXXXX";
    EXPECT_EQ(shot.lineChars(top + 1)[0], 'p');
    t.screen.snapshot(-5, t.screen.bufferLines() + 5, shot);
    EXPECT_EQ(shot.firstLine, 0);
    EXPECT_EQ(shot.lineCount, t.screen.bufferLines());
    EXPECT_EQ(shot.lineChars(top + 1)[0], 'X');
    EXPECT_EQ(std::string(shot.lineChars(top + 23).begin(), shot.lineChars(top + 23).begin() + 6), "bottom");
    ScreenState none;
    none.snapshot(0, 10, shot);
    EXPECT_EQ(shot.lineCount, 0);
    EXPECT_TRUE(shot.lineChars(0).empty());
}

TEST(ScreenModel, ScreenLinesAreLimitedToOneDamageBitEach) {
    ScreenState state;
    EXPECT_TRUE(state.AllocScreenBuffer(80, MaxScreenLines, HistoryLines, TerminalType::Vt100));
    EXPECT_FALSE(state.AllocScreenBuffer(80, MaxScreenLines + 1, HistoryLines, TerminalType::Vt100));
}

TEST(ScreenModel, SelectionAndCopy) {
    Terminal t(termtest::shipped("vt100"));
    t << "\x1b[2;1Hfirst line\x1b[3;1H" << std::string(80, 'm') << "\x1b[4;1Hlast line";
    const int top = t.screen.screenStartLine();
    // Trailing blanks are kept; a whole line gives all its columns.
    EXPECT_EQ(t.screen.CopyText(6, top + 1, 4, top + 3),
              "line" + std::string(70, ' ') + "\r\n" + std::string(80, 'm') + "\r\nlast");
    // Ends in either order, and beyond the buffer, are limited to it.
    EXPECT_EQ(t.screen.CopyText(4, top + 3, 6, top + 1), t.screen.CopyText(6, top + 1, 4, top + 3));
    EXPECT_EQ(t.screen.CopyText(0, top + 3, 999, top + 3), "last line" + std::string(71, ' '));
    EXPECT_EQ(t.screen.CopyText(-5, -5, 3, -1), "   ");
    t.screen.MarkSelection(6, 4, top + 1, top + 3, true);
    EXPECT_EQ(t.attr(5, 1) & AttrSelected, 0);
    EXPECT_EQ(t.attr(6, 1) & AttrSelected, AttrSelected);
    EXPECT_EQ(t.attr(79, 2) & AttrSelected, AttrSelected);
    EXPECT_EQ(t.attr(3, 3) & AttrSelected, AttrSelected);
    EXPECT_EQ(t.attr(4, 3) & AttrSelected, 0);
    t.screen.MarkSelection(6, 4, top + 1, top + 3, false);
    for (int r = 0; r < 24; ++r)
        for (int c = 0; c < 80; ++c)
            ASSERT_EQ(t.attr(c, r) & AttrSelected, 0);
    t.screen.MarkSelection(-10, 1000, -10, 1000, true); // no access outside the buffer
}

TEST(ScreenModel, ReaderAndPainterSeeWholeUpdates) {
    // One thread feeds whole screens of one letter each, under the lock once per feed; the other reads
    // under the lock and must never see two letters at once.
    auto shared = std::make_shared<ScreenModel>();
    ScreenModel& model = *shared;
    ReceivePipeline pipeline(shared);
    const auto table = termtest::shipped("vt100");
    ASSERT_TRUE(model.lock()->AllocScreenBuffer(80, 24, HistoryLines, TerminalType::Vt100));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        SequenceRecogniser recogniser(table);
        for (int i = 0; i < 400; ++i) {
            std::string s = "\x1b[H";
            for (int r = 0; r < 24; ++r)
                s += "\x1b[" + std::to_string(r + 1) + ";1H" +
                     std::string(80, static_cast<char>('a' + i % 26));
            pipeline.terminalData(recogniser, termtest::bytes(s), s.size());
        }
        done = true;
    });
    int looks = 0;
    while (!done || looks == 0) {
        auto state = model.lock();
        const uint8_t first = state->rowChars(0)[0];
        for (int r = 0; r < 24; ++r)
            for (uint8_t c : state->rowChars(r))
                ASSERT_EQ(c, first);
        ++looks;
    }
    writer.join();
    EXPECT_EQ(model.lock()->rowChars(23)[79], 'a' + 399 % 26);
}

} // namespace
