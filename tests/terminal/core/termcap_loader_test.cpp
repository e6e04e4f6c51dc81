#include "termcap_builder.h"
#include "termcap_line.h"
#include "termcap_loader.h"
#include "termcap_store.h"
#include "termcap_value.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace terminal;
using Reason = LoadResult::Reason;
using Kind = ValueUnit::Kind;

namespace {

struct ValueCase {
    const char* name;
    const char* written;
    bool ok;
    std::vector<ValueUnit> units;
};

class TermcapValue : public testing::TestWithParam<ValueCase> {};

TEST_P(TermcapValue, DecodesEscapesAndCodes) {
    const ValueCase& c = GetParam();
    std::vector<ValueUnit> units;
    EXPECT_EQ(decodeValue(c.written, units), c.ok) << c.written;
    if (c.ok) {
        EXPECT_EQ(units, c.units) << c.written;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, TermcapValue,
    testing::Values(
        ValueCase{"Escape", "\\E", true, {{Kind::Byte, 0x1B}}},
        ValueCase{"Octal", "\\033", true, {{Kind::Byte, 0x1B}}},
        ValueCase{"OctalEightBitLess128", "\\377", true, {{Kind::Byte, 0x7F}}},
        ValueCase{"OctalEightBitToNul", "\\200", true, {{Kind::Byte, 0x00}}},
        ValueCase{"BackslashEscapes",
                  "\\n\\r\\t\\b\\f\\\\\\^",
                  true,
                  {{Kind::Byte, 0x0A},
                   {Kind::Byte, 0x0D},
                   {Kind::Byte, 0x09},
                   {Kind::Byte, 0x08},
                   {Kind::Byte, 0x0C},
                   {Kind::Byte, '\\'},
                   {Kind::Byte, '^'}}},
        ValueCase{"Controls",
                  "^a^A^z^_",
                  true,
                  {{Kind::Byte, 1}, {Kind::Byte, 1}, {Kind::Byte, 26}, {Kind::Byte, 0x7F}}},
        ValueCase{"PercentCodes",
                  "%d%.%i%r%%",
                  true,
                  {{Kind::Parameter, 0},
                   {Kind::AnyCharacter, 0},
                   {Kind::OneBased, 0},
                   {Kind::Reversed, 0},
                   {Kind::Byte, '%'}}},
        ValueCase{"Blank", "a b", true, {{Kind::Byte, 'a'}, {Kind::Byte, ' '}, {Kind::Byte, 'b'}}},
        // fewer than three octal digits
        ValueCase{"TwoOctalDigits", "\\33[", false, {}}, ValueCase{"OneOctalDigit", "\\3", false, {}},
        ValueCase{"UnknownEscape", "\\x", false, {}}, ValueCase{"ControlOfBracket", "^[", false, {}},
        ValueCase{"ControlOfDigit", "^1", false, {}}, ValueCase{"UnknownPercentCode", "%x", false, {}},
        ValueCase{"LoneBackslash", "\\", false, {}}, ValueCase{"LoneCaret", "^", false, {}},
        ValueCase{"LonePercent", "%", false, {}}, ValueCase{"TrailingBackslash", "ab\\", false, {}}),
    [](const testing::TestParamInfo<ValueCase>& i) { return std::string(i.param.name); });

struct SplitCase {
    const char* row;
    const char* line;
    SplitResult result;
    const char* name;
    const char* value;
};

class TermcapLineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(TermcapLineSplit, SplitsNameAndValue) {
    const SplitCase& c = GetParam();
    std::string name;
    std::string value;
    EXPECT_EQ(SplitNameValue(c.line, name, value), c.result) << c.line;
    if (c.result == SplitResult::NameAndValue) {
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TermcapLineSplit,
    testing::Values(SplitCase{"NameAndValue", "cursor_up = \\E[A", SplitResult::NameAndValue, "cursor_up",
                              "\\E[A"},
                    SplitCase{"BlanksOutOfTheNameAndAroundTheValue", " cur sor_up=  a  b  ",
                              SplitResult::NameAndValue, "cursor_up", "a  b"},
                    SplitCase{"NoEquals", "bell", SplitResult::NoValue, "bell", ""},
                    SplitCase{"NothingAfterEquals", "bell =", SplitResult::NoValue, "bell", ""},
                    SplitCase{"EmptyName", "= x", SplitResult::EmptyName, "", ""},
                    SplitCase{"FirstEqualsSplits", "a=b=c", SplitResult::NameAndValue, "a", "b=c"},
                    SplitCase{"LongestName", "123456789012345678901234567890123456789 = x",
                              SplitResult::NameAndValue, "123456789012345678901234567890123456789", "x"},
                    SplitCase{"NameTooLong", "1234567890123456789012345678901234567890 = x",
                              SplitResult::NameTooLong, "", ""}),
    [](const testing::TestParamInfo<SplitCase>& i) { return std::string(i.param.row); });

TEST(TermcapLine, LineEndsCommentsAndDroppedBytes) {
    MemoryTermcapSource source("a=1\r\nb=2\nc=3\rd=4\r\n\r\n# only a comment\r\ne\t=5 # tail\r\n\x01\x80\x7F"
                               "f=6");
    TermcapLineReader reader(source);
    std::vector<std::pair<int, std::string>> got;
    std::string line;
    for (int r; (r = reader.ReadTermcapLine(line)) != TermcapLineReader::EndOfFile;)
        got.emplace_back(r, line);
    const std::vector<std::pair<int, std::string>> want = {
        {3, "a=1"}, {3, "b=2"}, {3, "c=3"}, {3, "d=4"}, {0, ""}, {0, ""}, {4, "e=5 "}, {3, "f=6"},
    };
    EXPECT_EQ(got, want);
}

TEST(TermcapLine, EndlessLineStops) {
    const std::string comment = "# " + std::string(MaxRawLine, 'c') + "\r\nbell = ^G\r\n";
    const std::string dropped = std::string(MaxRawLine + 1, '\0');
    for (const std::string* text : {&comment, &dropped}) {
        MemoryTermcapSource source(*text);
        TermcapLineReader reader(source);
        std::string line;
        EXPECT_EQ(reader.ReadTermcapLine(line), TermcapLineReader::TooLong);
    }
}

TEST(TermcapLine, LongestLineIs148Bytes) {
    for (const char* end : {"\r\n", "\n"}) {
        const std::string fits = std::string(148, 'x') + end;
        const std::string over = std::string(149, 'x') + end;
        MemoryTermcapSource ok(fits);
        TermcapLineReader okReader(ok);
        std::string line;
        EXPECT_EQ(okReader.ReadTermcapLine(line), 148);
        MemoryTermcapSource tooLong(over);
        TermcapLineReader longReader(tooLong);
        EXPECT_EQ(longReader.ReadTermcapLine(line), TermcapLineReader::TooLong);
    }
}

struct LoadCase {
    const char* name;
    std::string text;
    LoadResult::Status status;
    Reason reason;
    int line;
};

using Status = LoadResult::Status;

std::vector<LoadCase> loadCases() {
    const std::string lineTooLong = "bell = ^G\r\n# x\r\ncursor_up = " + std::string(140, 'A') + "\r\n";
    return {
        {"NoValue", "bell = ^G\r\nbell\r\n", Status::SyntaxError, Reason::NoValue, 2},
        {"NothingAfterEquals", "bell =\r\n", Status::SyntaxError, Reason::NoValue, 1},
        {"BlankValue", "bell =   \r\n", Status::SyntaxError, Reason::EmptyValue, 1},
        {"EmptyName", "= ^G\r\n", Status::SyntaxError, Reason::EmptyName, 1},
        {"BadControlOnLine3", "\r\n\r\nbell = ^[\r\n", Status::SyntaxError, Reason::BadValue, 3},
        {"ShortOctal", "bell = \\33[\r\n", Status::SyntaxError, Reason::BadValue, 1},
        {"UnknownPercentCode", "cursor_up = %x\r\n", Status::SyntaxError, Reason::BadValue, 1},
        {"AddressWithoutParameters", "cursor_address = %i\r\n", Status::SyntaxError, Reason::BadValue, 1},
        {"AddressOneBasedAfterParameters", "cursor_address = \\E[%d;%dH%i\r\n", Status::SyntaxError,
         Reason::BadValue, 1},
        {"ParameterCountWrong", "parm_up_cursor = \\E[%d\r\n", Status::SyntaxError, Reason::BadValue, 1},
        {"AnyCharacterInAPlainString", "bell = \\E%.\r\n", Status::SyntaxError, Reason::BadValue, 1},
        {"PercentCodeInAKey", "key_up = \\E[%dA\r\n", Status::SyntaxError, Reason::PercentCodeInValue, 1},
        {"PercentCodeInANumber", "lines = %d\r\n", Status::SyntaxError, Reason::PercentCodeInValue, 1},
        {"LetterInANumber", "columns = 8O\r\n", Status::SyntaxError, Reason::BadNumber, 1},
        {"ZeroColumns", "columns = 0\r\n", Status::SyntaxError, Reason::BadNumber, 1},
        {"DuplicateSequence", "cursor_home = \\E[H\r\nbell = \\E[H\r\n", Status::SyntaxError,
         Reason::Duplicate, 2},
        // The same sequence again where it is also the prefix of a longer one.
        {"DuplicateOfAPrefixDefinedFirst",
         "cursor_home = \\E[H\r\nclear_screen = \\E[H\\E[J\r\nbell = \\E[H\r\n", Status::SyntaxError,
         Reason::Duplicate, 3},
        {"DuplicateOfAPrefixDefinedAfter",
         "clear_screen = \\E[H\\E[J\r\ncursor_home = \\E[H\r\nbell = \\E[H\r\n", Status::SyntaxError,
         Reason::Duplicate, 3},
        {"LineTooLong", lineTooLong, Status::SyntaxError, Reason::LineTooLong, 3},
        // Refused: a description that names no capability would show every sequence as text.
        {"OnlyCommentsAndBlankLines", "# only comments\r\n\r\n   \r\n  # indented comment\r\n",
         Status::ReadFail, Reason::NoCapability, 0},
        {"Empty", "", Status::ReadFail, Reason::NoCapability, 0},
        {"AllNul", std::string(64, '\0'), Status::ReadFail, Reason::NoCapability, 0},
        {"OnlyKeys", "key_up = \\EOA\r\n", Status::ReadFail, Reason::NoCapability, 0},
        // Accepted: unknown names (even with values the loader could not read), blank lines, comments.
        {"UnknownNameWithABadValue", "smkx = %x\r\nbell = ^G\r\n", Status::Ok, Reason::None, 0},
        {"PercentInAKey", "bell = ^G\r\nkey_up = 50%%\r\n", Status::Ok, Reason::None, 0},
        {"NameTooLong", std::string(40, 'n') + " = 1\r\n", Status::SyntaxError, Reason::NameTooLong, 1},
    };
}

class TermcapLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(TermcapLoad, SyntaxErrorsNameTheirLine) {
    const LoadCase& c = GetParam();
    const LoadResult r = LoadTermcapText(c.text, "vt100");
    EXPECT_EQ(r.status, c.status) << termtest::visible(c.text);
    EXPECT_EQ(r.reason, c.reason) << termtest::visible(c.text);
    EXPECT_EQ(r.line, c.line) << termtest::visible(c.text);
    EXPECT_EQ(r.table != nullptr, c.status == LoadResult::Status::Ok);
}

INSTANTIATE_TEST_SUITE_P(Texts, TermcapLoad, testing::ValuesIn(loadCases()),
                         [](const testing::TestParamInfo<LoadCase>& i) { return std::string(i.param.name); });

TEST(TermcapLoader, Messages) {
    EXPECT_EQ(LoadTermcapText("bell = ^G\r\n\r\nbell\r\n", "ansi").message(),
              "Termcap file syntax error : line 3");
    EXPECT_EQ(LoadTermcapFile("/nonexistent/dir/vt100", "vt100").message(), "Termcap file vt100 open fail");
    EXPECT_EQ(LoadTermcapText("bell = ^G\r\n", "ansi").message(), "");
    EXPECT_EQ(LoadTermcapText("", "ansi").message(), "Termcap file ansi read fail");
}

// A FIFO with no writer would block a plain open for ever (the program hung at its start); a folder
// or a device is no description either.
TEST(TermcapLoader, OnlyARegularFileIsRead) {
    char dir[] = "/tmp/termcap-kinds-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string fifo = std::string(dir) + "/vt100";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string(dir), std::string("/dev/null")}) {
        const LoadResult r = LoadTermcapFile(path, "vt100");
        EXPECT_EQ(r.message(), "Termcap file vt100 open fail") << path;
        EXPECT_EQ(r.table, nullptr);
    }
    const std::string empty = std::string(dir) + "/ansi";
    std::FILE* f = std::fopen(empty.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_EQ(LoadTermcapFile(empty, "ansi").message(), "Termcap file ansi read fail");
    ::unlink(empty.c_str());
    ::unlink(fifo.c_str());
    ::rmdir(dir);
}

// A source whose every read fails after a first good line.
class FailingSource : public TermcapSource {
public:
    int calls = 0;
    int get() override {
        static constexpr std::string_view good = "bell = ^G\r\n";
        return calls < static_cast<int>(good.size()) ? static_cast<unsigned char>(good[calls++])
                                                     : (++calls, ReadError);
    }
};

TEST(TermcapLoader, ReadErrorFailsTheLoadOnce) {
    FailingSource source;
    const LoadResult r = LoadTermcap(source, "ansi");
    EXPECT_EQ(r.status, LoadResult::Status::ReadFail);
    EXPECT_EQ(r.message(), "Termcap file ansi read fail");
    EXPECT_EQ(r.table, nullptr);
    EXPECT_LE(source.calls, 20) << "the loader must stop at a read error, not retry it line after line";
}

TEST(TermcapLoader, LineEndsOfEveryKindLoadAlike) {
    const std::string lines[] = {"columns = 40", "lines = 12", "cursor_up = \\E[A", "key_up = \\EOA"};
    for (const char* end : {"\r\n", "\n", "\r"}) {
        std::string text;
        for (const std::string& l : lines)
            text += l + end;
        // Long enough that a reader taking the whole file as one line would stop at its limit.
        for (int i = 0; i < 20; ++i)
            text += std::string("# filler comment line") + end;
        text += "cursor_down = \\E[B";
        const LoadResult r = LoadTermcapText(text, "vt100");
        ASSERT_TRUE(r.ok()) << r.message();
        EXPECT_EQ(r.table->columns(), 40);
        EXPECT_EQ(r.table->lines(), 12);
        EXPECT_EQ(r.table->nodeCount(), 4); // ESC [ A, with B beside A
        std::string key;
        EXPECT_EQ(r.table->GetKeyString(0x26, key), 1);
        EXPECT_EQ(key, "\x1bOA");
    }
}

struct DimensionsCase {
    const char* name;
    const char* text;
    int columns;
    int lines;
};

class TermcapDimensions : public testing::TestWithParam<DimensionsCase> {};

TEST_P(TermcapDimensions, DimensionsAreLimited) {
    const DimensionsCase& c = GetParam();
    // A description needs a capability; the sizes are what the rows vary.
    const LoadResult r = LoadTermcapText(std::string("bell = ^G\r\n") + c.text, "x");
    ASSERT_TRUE(r.ok()) << c.text;
    EXPECT_EQ(r.table->columns(), c.columns) << c.text;
    EXPECT_EQ(r.table->lines(), c.lines) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TermcapDimensions,
    testing::Values(DimensionsCase{"Defaults", "", 80, 25},
                    DimensionsCase{"TooLargeKeepsTheDefaults", "columns = 132\r\nlines = 50\r\n", 80, 25},
                    DimensionsCase{"HugeNumberKeepsTheDefault", "columns = 99999999999999999999\r\n", 80, 25},
                    DimensionsCase{"LaterLineWins", "columns = 40\r\nlines = 10\r\ncolumns = 60\r\n", 60, 10},
                    DimensionsCase{"OneLine", "lines = 1\r\n", 80, 1}),
    [](const testing::TestParamInfo<DimensionsCase>& i) { return std::string(i.param.name); });

TEST(TermcapLoader, TrieHoldsExactlyOneHundredNodes) {
    // 99 units make 99 nodes; one more unit fits, the next allocation of any kind does not.
    const std::string ninetyNine = "\\E" + std::string(98, 'a');
    const LoadResult full = LoadTermcapText("bell = " + ninetyNine + "\r\ntab = ^I\r\n", "x");
    ASSERT_TRUE(full.ok()) << full.message();
    EXPECT_EQ(full.table->nodeCount(), 100);

    const struct {
        const char* extra;
        const char* why;
    } overflows[] = {
        {"cursor_up = ^H", "a sibling at the top"},
        {"cursor_up = \\Eb", "a sibling below the first byte"},
        {"cursor_up = ^Ix", "a child below a complete sequence"},
    };
    for (const auto& o : overflows) {
        const LoadResult r =
            LoadTermcapText("bell = " + ninetyNine + "\r\ntab = ^I\r\n" + o.extra + "\r\n", "x");
        EXPECT_EQ(r.reason, Reason::TrieFull) << o.why;
        EXPECT_EQ(r.line, 3) << o.why;
    }
    const LoadResult tooLong = LoadTermcapText("bell = " + ninetyNine + "bc\r\n", "x");
    EXPECT_EQ(tooLong.reason, Reason::TrieFull);
    EXPECT_EQ(tooLong.line, 1);
}

TEST(TermcapLoader, KeyPoolHoldsFiveHundredTwelveWrittenBytes) {
    auto keysOf = [](int total, int last) {
        std::string text = "bell = ^G\r\n"; // a capability, which takes no pool room
        int left = total;
        for (int k = 0; left > 0; ++k) {
            const int n = k < 3 ? 128 : left;
            text += std::string(KeyNames[k]) + " = " + std::string(static_cast<size_t>(n), 'k') + "\r\n";
            left -= n;
        }
        if (last > 0)
            text += "key_f10 = " + std::string(static_cast<size_t>(last), 'z') + "\r\n";
        return text;
    };
    const LoadResult fits = LoadTermcapText(keysOf(510, 2), "x");
    ASSERT_TRUE(fits.ok()) << fits.message();
    EXPECT_EQ(fits.table->poolUsed(), 512);
    const LoadResult over = LoadTermcapText(keysOf(510, 3), "x");
    EXPECT_EQ(over.reason, Reason::PoolFull);
    // The written length counts, not the decoded one: "\E" takes two bytes of room.
    const LoadResult written = LoadTermcapText(keysOf(510, 0) + "key_f9 = \\E\r\n", "x");
    EXPECT_TRUE(written.ok()) << written.message();
}

TEST(TermcapKeys, DefinedUndefinedAndRedefined) {
    const auto table =
        termtest::described("bell = ^G\r\nkey_up = \\E[A\r\nkey_up = \\EOA\r\nkey_f10 = \\E[21~\r\n");
    std::string out;
    EXPECT_EQ(table->GetKeyString(0x26, out), 1);
    EXPECT_EQ(out, "\x1bOA");
    EXPECT_EQ(table->GetKeyString(0x79, out), 1);
    EXPECT_EQ(out, "\x1b[21~");
    EXPECT_EQ(table->GetKeyString(0x41, out), 0);
    EXPECT_EQ(out, "A");
    EXPECT_EQ(table->GetKeyString(0x28, out), 0);
    EXPECT_EQ(out, "\x28");
    EXPECT_EQ(TermcapTable::IsCharacterKey(0x08), 1);
    EXPECT_EQ(TermcapTable::IsCharacterKey(0x26), 0);
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/termcap-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path + "/" + name, std::ios::binary) << text;
    }
    std::string path;
};

TEST(TermcapStore, FailedLoadKeepsTheTableInForceAndReadersKeepTheirs) {
    TempDir dir;
    dir.write("vt100", "columns = 40\r\ncursor_up = \\E[A\r\n");
    TermcapStore store;
    EXPECT_EQ(store.current(TerminalType::Vt100), nullptr);
    TermcapBinding first;
    ASSERT_TRUE(first.InitTermcap(store, TerminalType::Vt100, dir.path).ok());
    EXPECT_EQ(first.columns, 40);
    const auto held = first.table;

    dir.write("vt100", "columns = 60\r\ncursor_up = \\E[A\r\nbell = \\E[A\r\n");
    TermcapBinding second;
    const LoadResult failed = second.InitTermcap(store, TerminalType::Vt100, dir.path);
    EXPECT_EQ(failed.reason, Reason::Duplicate);
    EXPECT_EQ(second.table, nullptr);
    EXPECT_EQ(store.current(TerminalType::Vt100), held);

    dir.write("vt100", "columns = 70\r\nbell = ^G\r\n");
    TermcapBinding third;
    ASSERT_TRUE(third.InitTermcap(store, TerminalType::Vt100, dir.path).ok());
    EXPECT_EQ(third.columns, 70);
    EXPECT_NE(store.current(TerminalType::Vt100), held);
    // The first document still walks its own, unchanged table.
    EXPECT_EQ(first.table->columns(), 40);
    EXPECT_EQ(first.table->nodeCount(), 3);
    EXPECT_EQ(store.current(TerminalType::Ansi), nullptr);

    TermcapBinding dumb;
    EXPECT_TRUE(dumb.InitTermcap(store, TerminalType::Dumb, "/nonexistent").ok());
    EXPECT_EQ(dumb.columns, 80);
    EXPECT_EQ(dumb.lines, 25);
    EXPECT_EQ(dumb.table, nullptr);
}

} // namespace
