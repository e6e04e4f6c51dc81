// The shipped "ansi" and "vt100" files, checked against the sequences the system's terminal database
// (tput) produces for programs that use the stock entries of the same names.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace terminal;

namespace {

class ShippedDescriptions : public testing::TestWithParam<const char*> {};

TEST_P(ShippedDescriptions, LoadWithinTheirLimits) {
    const char* name = GetParam();
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

INSTANTIATE_TEST_SUITE_P(Files, ShippedDescriptions, testing::Values("ansi", "vt100"),
                         [](const testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

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
    const char* row;
    const char* terminalName;
    const char* arguments;
    std::vector<std::string> events;
};

// What the shipped description makes of each sequence the stock entry of the same name sends.
const TputCase TputCases[] = {
    {"vt100_cup_4_9", "vt100", "cup 4 9", {"cursor_address(5,10)f1"}},
    {"vt100_csr_2_10", "vt100", "csr 2 10", {"change_scroll_region(3,11)f1"}},
    {"vt100_home", "vt100", "home", {"cursor_home()"}},
    {"vt100_clear", "vt100", "clear", {"cursor_home()", "clr_eos()"}},
    {"vt100_ed", "vt100", "ed", {"clr_eos()"}},
    {"vt100_el", "vt100", "el", {"clr_eol()"}},
    {"vt100_el1", "vt100", "el1", {"clr_eol(1)"}},
    {"vt100_cuu1", "vt100", "cuu1", {"cursor_up()"}},
    {"vt100_cuf1", "vt100", "cuf1", {"cursor_right()"}},
    {"vt100_cub1", "vt100", "cub1", {"cursor_left()"}},
    {"vt100_cuu_3", "vt100", "cuu 3", {"parm_up_cursor(3)"}},
    {"vt100_cud_4", "vt100", "cud 4", {"parm_down_cursor(4)"}},
    {"vt100_cuf_12", "vt100", "cuf 12", {"parm_right_cursor(12)"}},
    {"vt100_cub_7", "vt100", "cub 7", {"parm_left_cursor(7)"}},
    {"vt100_sc", "vt100", "sc", {"save_cursor()"}},
    {"vt100_rc", "vt100", "rc", {"restore_cursor()"}},
    {"vt100_ri", "vt100", "ri", {"scroll_reverse()"}},
    {"vt100_smso", "vt100", "smso", {"set_attribute(7)"}},
    {"vt100_rev", "vt100", "rev", {"set_attribute(7)"}},
    {"vt100_smul", "vt100", "smul", {"set_attribute(4)"}},
    {"vt100_rmso", "vt100", "rmso", {"exit_attribute_mode()"}},
    {"vt100_sgr0", "vt100", "sgr0", {"exit_attribute_mode()", "exit_alt_charset_mode()"}},
    {"vt100_sgr_1_1_1_1_0_1",
     "vt100",
     "sgr 1 1 1 1 0 1",
     {"set_attribute(0,1,4,7,5)", "exit_alt_charset_mode()"}},
    {"vt100_smacs", "vt100", "smacs", {"enter_alt_charset_mode()"}},
    {"vt100_rmacs", "vt100", "rmacs", {"exit_alt_charset_mode()"}},
    {"vt100_enacs", "vt100", "enacs", {"exit_alt_charset_mode()", "exit_alt_charset_mode()"}},
    {"vt100_smkx", "vt100", "smkx", {"exit_alt_charset_mode( any=1)", "exit_alt_charset_mode()"}},
    {"vt100_rmkx", "vt100", "rmkx", {"exit_alt_charset_mode( any=1)", "exit_alt_charset_mode()"}},
    {"vt100_bel", "vt100", "bel", {"bell()"}},
    {"vt100_ht", "vt100", "ht", {"tab()"}},
    {"vt100_u7", "vt100", "u7", {"report_cursor_position()"}},
    {"vt100_cud1", "vt100", "cud1", {"text:^J"}},
    {"vt100_ind", "vt100", "ind", {"text:^J"}},
    {"ansi_cup_4_9", "ansi", "cup 4 9", {"cursor_address(5,10)f1"}},
    {"ansi_home", "ansi", "home", {"cursor_home()"}},
    {"ansi_clear", "ansi", "clear", {"cursor_home()", "clr_eos()"}},
    {"ansi_ed", "ansi", "ed", {"clr_eos()"}},
    {"ansi_el", "ansi", "el", {"clr_eol()"}},
    {"ansi_el1", "ansi", "el1", {"clr_eol(1)"}},
    {"ansi_cuu1", "ansi", "cuu1", {"cursor_up()"}},
    {"ansi_cud1", "ansi", "cud1", {"cursor_down()"}},
    {"ansi_cuf1", "ansi", "cuf1", {"cursor_right()"}},
    {"ansi_cub1", "ansi", "cub1", {"cursor_left()"}},
    {"ansi_cuu_3", "ansi", "cuu 3", {"parm_up_cursor(3)"}},
    {"ansi_cud_4", "ansi", "cud 4", {"parm_down_cursor(4)"}},
    {"ansi_cuf_12", "ansi", "cuf 12", {"parm_right_cursor(12)"}},
    {"ansi_cub_7", "ansi", "cub 7", {"parm_left_cursor(7)"}},
    {"ansi_il1", "ansi", "il1", {"insert_line()"}},
    {"ansi_dl1", "ansi", "dl1", {"delete_line()"}},
    {"ansi_dch1", "ansi", "dch1", {"delete_character()"}},
    {"ansi_smso", "ansi", "smso", {"set_attribute(7)"}},
    {"ansi_rev", "ansi", "rev", {"set_attribute(7)"}},
    {"ansi_smul", "ansi", "smul", {"set_attribute(4)"}},
    {"ansi_rmso", "ansi", "rmso", {"exit_attribute_mode()"}},
    {"ansi_sgr0", "ansi", "sgr0", {"set_attribute(0,10)"}},
    {"ansi_sgr_1_1_0_1", "ansi", "sgr 1 1 0 1", {"set_attribute(0,10,7,4,5)"}},
    {"ansi_smacs", "ansi", "smacs", {"set_attribute(11)"}},
    {"ansi_rmacs", "ansi", "rmacs", {"set_attribute(10)"}},
    {"ansi_bel", "ansi", "bel", {"bell()"}},
    {"ansi_ht", "ansi", "ht", {"tab()"}},
    {"ansi_cbt", "ansi", "cbt", {"back_tab()"}},
    {"ansi_u7", "ansi", "u7", {"report_cursor_position()"}},
    {"ansi_ind", "ansi", "ind", {"text:^J"}},
};

class ShippedAgainstTput : public testing::TestWithParam<TputCase> {};

TEST_P(ShippedAgainstTput, TakesWhatTheStockEntrySends) {
    const TputCase& c = GetParam();
    if (tput(c.terminalName, "cr") != "\r")
        GTEST_SKIP() << "tput or the stock " << c.terminalName << " entry is not available";
    const auto table = termtest::shipped(c.terminalName);
    const std::string bytes = tput(c.terminalName, c.arguments);
    ASSERT_FALSE(bytes.empty()) << c.arguments;
    SequenceRecogniser recogniser(table);
    termtest::RecordingSink sink;
    recogniser.feed(termtest::bytes(bytes), bytes.size(), sink);
    EXPECT_EQ(sink.events, c.events) << c.terminalName << " " << c.arguments << ": "
                                     << termtest::visible(bytes);
}

INSTANTIATE_TEST_SUITE_P(Stock, ShippedAgainstTput, testing::ValuesIn(TputCases),
                         [](const testing::TestParamInfo<TputCase>& i) { return std::string(i.param.row); });

} // namespace
