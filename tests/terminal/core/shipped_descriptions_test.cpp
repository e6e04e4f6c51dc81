// The shipped "ansi" and "vt100" files, checked against the sequences the system's terminal database
// (tput) produces for programs that use the stock entries of the same names.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace terminal;

namespace {

TEST(ShippedDescriptions, LoadWithinTheirLimits) {
    for (const char* name : {"ansi", "vt100"}) {
        const auto table = termtest::shipped(name);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->columns(), 80) << name;
        EXPECT_EQ(table->lines(), 24) << name;
        EXPECT_LE(table->nodeCount(), TrieCapacity) << name;
        EXPECT_GT(table->nodeCount(), 40) << name;
        std::string key;
        for (int k = 0; k < KeyCount; ++k)
            EXPECT_EQ(table->GetKeyString(KeyVkCodes[k], key), 1) << name << " " << KeyNames[k];
        // CR and LF stay the screen's own.
        EXPECT_TRUE(table->isPlainAtRoot('\r'));
        EXPECT_TRUE(table->isPlainAtRoot('\n'));
    }
}

std::string tput(const std::string& terminalName, const std::string& arguments) {
    const std::string command = "tput -T " + terminalName + " " + arguments + " 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::string out;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

struct TputCase {
    const char* arguments;
    std::vector<std::string> events;
};

void checkAgainstTput(const char* name, const std::vector<TputCase>& cases) {
    if (tput(name, "cr") != "\r")
        GTEST_SKIP() << "tput or the stock " << name << " entry is not available";
    const auto table = termtest::shipped(name);
    for (const TputCase& c : cases) {
        const std::string bytes = tput(name, c.arguments);
        ASSERT_FALSE(bytes.empty()) << c.arguments;
        SequenceRecogniser recogniser(table);
        termtest::RecordingSink sink;
        recogniser.feed(termtest::bytes(bytes), bytes.size(), sink);
        EXPECT_EQ(sink.events, c.events) << name << " " << c.arguments << ": " << termtest::visible(bytes);
    }
}

TEST(ShippedDescriptions, Vt100TakesWhatTheStockEntrySends) {
    checkAgainstTput("vt100",
                     {
                         {"cup 4 9", {"cursor_address(5,10)f1"}},
                         {"csr 2 10", {"change_scroll_region(3,11)f1"}},
                         {"home", {"cursor_home()"}},
                         {"clear", {"cursor_home()", "clr_eos()"}},
                         {"ed", {"clr_eos()"}},
                         {"el", {"clr_eol()"}},
                         {"el1", {"clr_eol(1)"}},
                         {"cuu1", {"cursor_up()"}},
                         {"cuf1", {"cursor_right()"}},
                         {"cub1", {"cursor_left()"}},
                         {"cuu 3", {"parm_up_cursor(3)"}},
                         {"cud 4", {"parm_down_cursor(4)"}},
                         {"cuf 12", {"parm_right_cursor(12)"}},
                         {"cub 7", {"parm_left_cursor(7)"}},
                         {"sc", {"save_cursor()"}},
                         {"rc", {"restore_cursor()"}},
                         {"ri", {"scroll_reverse()"}},
                         {"smso", {"set_attribute(7)"}},
                         {"rev", {"set_attribute(7)"}},
                         {"smul", {"set_attribute(4)"}},
                         {"rmso", {"exit_attribute_mode()"}},
                         {"sgr0", {"exit_attribute_mode()", "exit_alt_charset_mode()"}},
                         {"sgr 1 1 1 1 0 1", {"set_attribute(0,1,4,7,5)", "exit_alt_charset_mode()"}},
                         {"smacs", {"enter_alt_charset_mode()"}},
                         {"rmacs", {"exit_alt_charset_mode()"}},
                         {"enacs", {"exit_alt_charset_mode()", "exit_alt_charset_mode()"}},
                         {"smkx", {"exit_alt_charset_mode( any=1)", "exit_alt_charset_mode()"}},
                         {"rmkx", {"exit_alt_charset_mode( any=1)", "exit_alt_charset_mode()"}},
                         {"bel", {"bell()"}},
                         {"ht", {"tab()"}},
                         {"u7", {"report_cursor_position()"}},
                         {"cud1", {"text:^J"}},
                         {"ind", {"text:^J"}},
                     });
}

TEST(ShippedDescriptions, AnsiTakesWhatTheStockEntrySends) {
    checkAgainstTput("ansi", {
                                 {"cup 4 9", {"cursor_address(5,10)f1"}},
                                 {"home", {"cursor_home()"}},
                                 {"clear", {"cursor_home()", "clr_eos()"}},
                                 {"ed", {"clr_eos()"}},
                                 {"el", {"clr_eol()"}},
                                 {"el1", {"clr_eol(1)"}},
                                 {"cuu1", {"cursor_up()"}},
                                 {"cud1", {"cursor_down()"}},
                                 {"cuf1", {"cursor_right()"}},
                                 {"cub1", {"cursor_left()"}},
                                 {"cuu 3", {"parm_up_cursor(3)"}},
                                 {"cud 4", {"parm_down_cursor(4)"}},
                                 {"cuf 12", {"parm_right_cursor(12)"}},
                                 {"cub 7", {"parm_left_cursor(7)"}},
                                 {"il1", {"insert_line()"}},
                                 {"dl1", {"delete_line()"}},
                                 {"dch1", {"delete_character()"}},
                                 {"smso", {"set_attribute(7)"}},
                                 {"rev", {"set_attribute(7)"}},
                                 {"smul", {"set_attribute(4)"}},
                                 {"rmso", {"exit_attribute_mode()"}},
                                 {"sgr0", {"set_attribute(0,10)"}},
                                 {"sgr 1 1 0 1", {"set_attribute(0,10,7,4,5)"}},
                                 {"smacs", {"set_attribute(11)"}},
                                 {"rmacs", {"set_attribute(10)"}},
                                 {"bel", {"bell()"}},
                                 {"ht", {"tab()"}},
                                 {"cbt", {"back_tab()"}},
                                 {"u7", {"report_cursor_position()"}},
                                 {"ind", {"text:^J"}},
                             });
}

} // namespace
