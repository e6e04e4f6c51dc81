#include "sequence_recogniser.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace terminal;
using termtest::RecordingSink;

namespace {

const char* const CursorAddressOnly = "cursor_address = \\E[%i%d;%dH\r\n";
const char* const WithPrefixes = "cursor_home = \\E[H\r\n"
                                 "clear_screen = \\E[H\\E[J\r\n"
                                 "cursor_address = \\E[%i%d;%dH\r\n"
                                 "clear_line = \\E[%i%d;%dH\\E[K\r\n";

std::vector<std::string> run(const std::shared_ptr<const TermcapTable>& table,
                             const std::vector<std::string>& reads) {
    SequenceRecogniser recogniser(table);
    RecordingSink sink;
    for (const std::string& r : reads)
        recogniser.feed(termtest::bytes(r), r.size(), sink);
    return sink.events;
}

struct Case {
    const char* description; // null: the shipped vt100 file
    std::vector<std::string> reads;
    std::vector<std::string> events;
};

const Case Cases[] = {
    {CursorAddressOnly, {"ab\x1b[12;5H"}, {"text:ab", "cursor_address(12,5)f1"}},
    // A fourth digit abandons the sequence: everything is text.
    {CursorAddressOnly, {"\x1b[1234H"}, {"text:^[[1234H"}},
    {CursorAddressOnly, {"\x1bx"}, {"text:^[x"}},
    // Fails after its parameters, then once more with the digits as plain bytes: text.
    {CursorAddressOnly, {"\x1b[12;5x"}, {"text:^[[12;5x"}},
    {CursorAddressOnly, {"\x1b[12;5"}, {}},
    {"bell = ^G\r\n", {std::string("a\0b\x1b", 4)}, {"text:a^@b^["}},
    // Longest match, also when the longer sequence fails only in a later read.
    {WithPrefixes, {"\x1b[Hxy"}, {"cursor_home()", "text:xy"}},
    {WithPrefixes, {"\x1b[H\x1b[J"}, {"clear_screen()"}},
    {WithPrefixes, {"\x1b[H\x1b", "[5;5Hz"}, {"cursor_home()", "cursor_address(5,5)f1", "text:z"}},
    {WithPrefixes, {"\x1b[H", "\x1b", "[", "J"}, {"clear_screen()"}},
    // The shorter sequence keeps its own parameters and its one-based flag.
    {WithPrefixes, {"\x1b[3;4H\x1b[Kx"}, {"clear_line(3,4)f1", "text:x"}},
    {WithPrefixes, {"\x1b[3;4H\x1b[x"}, {"cursor_address(3,4)f1", "text:^[[x"}},
    // Through the shipped file.
    {nullptr, {"\x1b[5", "A"}, {"parm_up_cursor(5)"}},
    {nullptr, {"abc\x1b", "", "[A"}, {"text:abc", "cursor_up()"}},
    {nullptr, {"\x1b[2J"}, {"clr_eos(2)"}},
    {nullptr, {"\x1b[J\x1b[0J"}, {"clr_eos()", "clr_eos(0)"}},
    {nullptr, {"\x1b[0;1;4;7m"}, {"set_attribute(0,1,4,7)"}},
    {nullptr, {"\x1b[0;1;4;7;5m"}, {"set_attribute(0,1,4,7,5)"}},
    {nullptr, {"\x1b[1;2;3;4;5;6m"}, {"text:^[[1;2;3;4;5;6m"}},
    {nullptr,
     {"\x1b[6n\x1b[?25l\x1b[?25h"},
     {"report_cursor_position()", "cursor_invisible()", "cursor_normal()"}},
    {nullptr,
     {"\x1b"
      "7\x1b"
      "8\x1b"
      "D\x1bM"},
     {"save_cursor()", "restore_cursor()", "scroll_forward()", "scroll_reverse()"}},
    // A byte that breaks a sequence may start the next one.
    {nullptr, {"\x1b\x1b[2J"}, {"text:^[", "clr_eos(2)"}},
    {nullptr, {"\x1b[\x1b[A"}, {"text:^[[", "cursor_up()"}},
    {nullptr, {"\x1b[1\x1b[A"}, {"text:^[[1", "cursor_up()"}},
    {nullptr,
     {"\a\b\tx\x0e\x0f"},
     {"bell()", "cursor_left()", "tab()", "text:x", "enter_alt_charset_mode()", "exit_alt_charset_mode()"}},
    {nullptr, {"\x1b(0q\x1b(B"}, {"enter_alt_charset_mode()", "text:q", "exit_alt_charset_mode()"}},
    {nullptr, {"\r\n"}, {"text:^M^J"}},
    // Any-character codes collect their bytes, digits included; a tenth abandons the sequence.
    {"bell = \\E%.X\r\n",
     {"\x1b"
      "5X"},
     {"bell( any=5)"}},
    {"bell = \\E%.%.%.%.%.%.%.%.%.X\r\n",
     {"\x1b"
      "123456789X"},
     {"bell( any=123456789)"}},
    {"bell = \\E%.%.%.%.%.%.%.%.%.%.X\r\n",
     {"\x1b"
      "0123456789X"},
     {"text:^[0123456789X"}},
    // Reversed parameters are passed as received; the action swaps them.
    {"cursor_address = \\E=%r%.%.;\r\n", {"\x1b=ab;"}, {"cursor_address( any=ab)f2"}},
    // Where a parameter and a plain digit both continue, the parameter is tried first.
    {"clear_screen = \\E[2J\r\nclr_eol = \\E[%dK\r\n", {"\x1b[2J\x1b[2K"}, {"clear_screen()", "clr_eol(2)"}},
    // Three digits make a parameter, a fourth does not, though the sequence would end well.
    {CursorAddressOnly, {"\x1b[123;5H"}, {"cursor_address(123,5)f1"}},
    {CursorAddressOnly, {"\x1b[1234;5H"}, {"text:^[[1234;5H"}},
    {CursorAddressOnly, {"\x1b[12;3456H"}, {"text:^[[12;3456H"}},
};

// The row's place in the table, then its reads.
std::string caseName(const testing::TestParamInfo<Case>& info) {
    std::string name = "Row" + std::to_string(info.index);
    for (const std::string& r : info.param.reads)
        name += "_" + termtest::rowName(r);
    return name;
}

class RecognisedStreams : public testing::TestWithParam<Case> {};

TEST_P(RecognisedStreams, EventsForByteStreams) {
    const Case& c = GetParam();
    const auto table = c.description ? termtest::described(c.description) : termtest::shipped("vt100");
    std::string where;
    for (const std::string& r : c.reads)
        where += termtest::visible(r) + " | ";
    EXPECT_EQ(run(table, c.reads), c.events) << where;
}

INSTANTIATE_TEST_SUITE_P(SequenceRecogniser, RecognisedStreams, testing::ValuesIn(Cases), caseName);

TEST(SequenceRecogniser, TextIsDeliveredBeforeEachCallReturns) {
    SequenceRecogniser recogniser(termtest::shipped("vt100"));
    RecordingSink sink;
    const std::string first = "hello \x1b[";
    recogniser.feed(termtest::bytes(first), first.size(), sink);
    EXPECT_EQ(sink.events, std::vector<std::string>{"text:hello "});
    EXPECT_EQ(recogniser.pendingLength(), 2u);
    recogniser.reset();
    const std::string second = "A";
    recogniser.feed(termtest::bytes(second), second.size(), sink);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"text:hello A"}));
}

// Streams mixing text, sequences of the shipped files, broken sequences and stray bytes.
std::string randomStream(std::mt19937& rng, size_t pieces) {
    static const std::string parts[] = {
        "hello",
        " ",
        "0123",
        "\r\n",
        "\n",
        "\x1b[H",
        "\x1b[12;40H",
        "\x1b[1;2H",
        "\x1b[5A",
        "\x1b[B",
        "\x1b[2J",
        "\x1b[K",
        "\x1b[1K",
        "\x1b[0;7m",
        "\x1b[4m",
        "\x1b[m",
        "\x1b[3;20r",
        "\x1b"
        "7",
        "\x1b"
        "8",
        "\x1bM",
        "\x1b"
        "D",
        "\x1b(0",
        "\x1b(B",
        "\x0e",
        "\x0f",
        "\x1b[6n",
        "\x1b[?25l",
        "\x1b[?25h",
        "\x1b",
        "\x1b[",
        "\x1b[9999",
        "\x1b[1;2;3;4;5;6m",
        "\x1b[12;",
        "\x1bZ",
        "\x1b[E",
        "\x1b"
        "c",
        "\t",
        "\b",
        "\a",
        std::string(1, '\0'),
        "\xff\x80",
        "\x1b[2",
        "\x1b[I",
        "\x1b[s",
        "\x1b[u",
        "\x1b[%",
    };
    std::uniform_int_distribution<size_t> pick(0, std::size(parts) - 1);
    std::string s;
    for (size_t i = 0; i < pieces; ++i) {
        s += parts[pick(rng)];
    }
    return s;
}

// Every window of one terminal type shares its description table: a window left in the middle of
// a sequence neither disturbs another nor is disturbed by it.
TEST(SequenceRecogniser, RecognisersOfOneTableKeepTheirOwnPlace) {
    const auto table = termtest::described(WithPrefixes);
    SequenceRecogniser first(table);
    SequenceRecogniser second(table);
    RecordingSink firstSink;
    RecordingSink secondSink;
    const auto feed = [](SequenceRecogniser& r, RecordingSink& sink, const std::string& s) {
        r.feed(termtest::bytes(s), s.size(), sink);
    };
    feed(first, firstSink, "\x1b[12");
    feed(second, secondSink, "\x1b[3;4H\x1b[Kab\x1b[H");
    feed(second, secondSink, "x");
    feed(first, firstSink, ";5Hz");
    EXPECT_EQ(firstSink.events, (std::vector<std::string>{"cursor_address(12,5)f1", "text:z"}));
    EXPECT_EQ(secondSink.events,
              (std::vector<std::string>{"clear_line(3,4)f1", "text:ab", "cursor_home()", "text:x"}));
}

TEST(SequenceRecogniser, HowInputIsCutIntoReadsChangesNothing) {
    std::mt19937 rng(6);
    for (const char* name : {"vt100", "ansi"}) {
        const auto table = termtest::shipped(name);
        for (int round = 0; round < 40; ++round) {
            const std::string stream = randomStream(rng, 30);
            const auto whole = run(table, {stream});
            std::vector<std::string> single;
            for (char c : stream)
                single.emplace_back(1, c);
            ASSERT_EQ(run(table, single), whole) << termtest::visible(stream);
            for (size_t cut = 1; cut < stream.size(); ++cut)
                ASSERT_EQ(run(table, {stream.substr(0, cut), stream.substr(cut)}), whole)
                    << termtest::visible(stream) << " cut at " << cut;
        }
    }
}

TEST(SequenceRecogniser, EveryByteComesOutAsTextOrInASequence) {
    // With a description of only plain-byte sequences, the bytes of the text events plus those of
    // the recognised sequences must add up to the input.
    const auto table = termtest::described("cursor_home = \\E[H\r\nclear_screen = \\E[H\\E[J\r\n"
                                           "cursor_up = \\E[A\r\nbell = ^G\r\n");
    std::mt19937 rng(7);
    const char alphabet[] = {'\x1b', '[', 'H', 'J', 'A', '\a', 'x'};
    for (int round = 0; round < 200; ++round) {
        std::string stream;
        for (int i = 0; i < 40; ++i)
            stream += alphabet[rng() % sizeof alphabet];
        struct CountingSink : RecogniserSink {
            size_t bytes = 0;
            void text(const uint8_t*, size_t length) override { bytes += length; }
            void capability(const CapabilityEvent& e) override {
                static const size_t lengths[CapabilityCount] = {0, 1, 0, 0, 0, 6, 0, 0,
                                                                0, 0, 3, 0, 0, 0, 0, 3};
                bytes += lengths[e.capability];
            }
        } sink;
        SequenceRecogniser recogniser(table);
        for (size_t i = 0; i < stream.size(); i += 3)
            recogniser.feed(termtest::bytes(stream) + i, std::min<size_t>(3, stream.size() - i), sink);
        EXPECT_EQ(sink.bytes + recogniser.pendingLength(), stream.size()) << termtest::visible(stream);
    }
}

} // namespace
