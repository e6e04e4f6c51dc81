// The terminfo sources installed for the far side, compiled with tic: each entry promises exactly what
// its description does. Every string it gives, as tput produces it, is recognised as the capability it
// names, with no text left over; its keys are the description's key strings; and it never promises
// automatic margins, which the screen does not have.
#include "alt_charset.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace terminal;

namespace {

struct Ran {
    int status = -1;
    std::string out;
};

Ran run(const std::string& command) {
    Ran r;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    r.status = pclose(pipe);
    return r;
}

// One entry compiled into a private terminfo folder.
class CompiledEntry {
public:
    explicit CompiledEntry(std::string name) : name_(std::move(name)) {
        char pattern[] = "/tmp/terminfo-test-XXXXXX";
        if (mkdtemp(pattern))
            dir_ = pattern;
    }
    ~CompiledEntry() {
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    CompiledEntry(const CompiledEntry&) = delete;
    CompiledEntry& operator=(const CompiledEntry&) = delete;

    // tic's messages; empty when the source compiled cleanly.
    Ran compile() const {
        return run("tic -o " + dir_ + " " + std::string(BREL_BIN_DIR) + "/" + name_ + ".terminfo 2>&1");
    }
    std::string tput(const std::string& arguments) const {
        return run("TERMINFO=" + dir_ + " tput -T " + name_ + " " + arguments + " 2>/dev/null").out;
    }
    // Capability name to its value as infocmp lists it ("" for booleans).
    std::map<std::string, std::string> listed() const {
        std::map<std::string, std::string> caps;
        std::istringstream lines(run("infocmp -1 -A " + dir_ + " " + name_).out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.empty() || line[0] != '\t' || line.back() != ',')
                continue;
            const std::string item = line.substr(1, line.size() - 2);
            const size_t cut = item.find_first_of("=#");
            caps[item.substr(0, cut)] = cut == std::string::npos ? "" : item.substr(cut + 1);
        }
        return caps;
    }

private:
    std::string name_;
    std::string dir_;
};

bool ticAvailable() {
    return run("command -v tic >/dev/null && command -v infocmp >/dev/null && command -v tput >/dev/null")
               .status == 0;
}

struct StringCase {
    const char* capability;
    const char* arguments;
    std::vector<std::string> events;
};

// The terminfo names of the description's keys, in key table order.
const char* const KeyCapabilities[KeyCount] = {"kcuu1", "kcud1", "kcuf1", "kcub1", "kbs", "kdch1", "kpp",
                                               "knp",   "khome", "kend",  "kich1", "kf1", "kf2",   "kf3",
                                               "kf4",   "kf5",   "kf6",   "kf7",   "kf8", "kf9",   "kf10"};

std::vector<StringCase> commonCases() {
    return {
        {"bel", "", {"bell()"}},
        {"cbt", "", {"back_tab()"}},
        {"civis", "", {"cursor_invisible()"}},
        {"clear", "", {"cursor_home()", "clr_eos()"}},
        {"cnorm", "", {"cursor_normal()"}},
        {"cr", "", {"text:^M"}},
        {"csr", "2 10", {"change_scroll_region(3,11)f1"}},
        {"cub", "7", {"parm_left_cursor(7)"}},
        {"cud", "4", {"parm_down_cursor(4)"}},
        {"cud1", "", {"cursor_down()"}},
        {"cuf", "12", {"parm_right_cursor(12)"}},
        {"cuf1", "", {"cursor_right()"}},
        {"cup", "4 9", {"cursor_address(5,10)f1"}},
        {"cuu", "3", {"parm_up_cursor(3)"}},
        {"cuu1", "", {"cursor_up()"}},
        {"dch1", "", {"delete_character()"}},
        {"dl1", "", {"delete_line()"}},
        {"ed", "", {"clr_eos()"}},
        {"el", "", {"clr_eol()"}},
        {"el1", "", {"clr_eol(1)"}},
        {"home", "", {"cursor_home()"}},
        {"ht", "", {"tab()"}},
        {"ich1", "", {"insert_character()"}},
        {"il1", "", {"insert_line()"}},
        {"ind", "", {"text:^J"}},
        {"rc", "", {"restore_cursor()"}},
        {"rev", "", {"set_attribute(7)"}},
        {"rmso", "", {"exit_attribute_mode()"}},
        {"rmul", "", {"exit_attribute_mode()"}},
        {"rs1", "", {"reset_2string()"}},
        {"sc", "", {"save_cursor()"}},
        {"smso", "", {"set_attribute(7)"}},
        {"smul", "", {"set_attribute(4)"}},
        {"u7", "", {"report_cursor_position()"}},
    };
}

// Every string each entry gives for the far side to send, with what the description makes of it.
std::vector<StringCase> entryCases(const std::string& description) {
    std::vector<StringCase> cases = commonCases();
    if (description == "vt100") {
        cases.insert(
            cases.end(),
            {
                {"cub1", "", {"cursor_left()"}},
                {"ri", "", {"scroll_reverse()"}},
                {"rmacs", "", {"exit_alt_charset_mode()"}},
                {"smacs", "", {"enter_alt_charset_mode()"}},
                {"sgr0", "", {"exit_attribute_mode()", "exit_alt_charset_mode()"}},
                {"sgr", "1 1 1 0 0 0 0 0 1", {"set_attribute(0,7,4)", "enter_alt_charset_mode()"}},
                {"sgr", "0 0 0 0 0 0 0 0 0", {"set_attribute(0)", "exit_alt_charset_mode()"}},
                {"rs2",
                 "",
                 {"exit_attribute_mode()", "exit_alt_charset_mode()", "change_scroll_region(1,24)f1"}},
            });
    } else {
        cases.insert(cases.end(), {
                                      {"cub1", "", {"cursor_left()"}},
                                      {"sgr0", "", {"exit_attribute_mode()"}},
                                      {"sgr", "1 1 0 0 0 0 0 0 0", {"set_attribute(0,7,4)"}},
                                      {"rs2", "", {"exit_attribute_mode()", "change_scroll_region(1,24)f1"}},
                                  });
    }
    return cases;
}

const char* const Descriptions[] = {"vt100", "ansi"};

std::string entryOf(const std::string& description) {
    return "halvic-" + description;
}

// One string of one entry: as tput produces it, it is recognised as the capability it names, with no
// text left over.
struct StringRow {
    std::string description;
    StringCase c;
    std::string name;
};

std::vector<StringRow> stringRows() {
    std::vector<StringRow> rows;
    for (const std::string description : Descriptions) {
        for (StringCase& c : entryCases(description)) {
            std::string name = description + "_" + c.capability + (*c.arguments ? " " : "") + c.arguments;
            std::replace(name.begin(), name.end(), ' ', '_');
            rows.push_back({description, std::move(c), std::move(name)});
        }
    }
    return rows;
}

class TerminfoStrings : public testing::TestWithParam<StringRow> {};

TEST_P(TerminfoStrings, RecognisedAsTheCapabilityItNames) {
    if (!ticAvailable())
        GTEST_SKIP() << "tic, infocmp or tput is not installed";
    const StringRow& row = GetParam();
    const std::string entry = entryOf(row.description);
    const CompiledEntry compiled(entry);
    ASSERT_EQ(compiled.compile().status, 0);
    const auto table = termtest::shipped(row.description.c_str());
    ASSERT_NE(table, nullptr);
    const std::string bytes = compiled.tput(std::string(row.c.capability) + " " + row.c.arguments);
    ASSERT_FALSE(bytes.empty()) << entry << " " << row.c.capability;
    SequenceRecogniser recogniser(table);
    termtest::RecordingSink sink;
    recogniser.feed(termtest::bytes(bytes), bytes.size(), sink);
    EXPECT_EQ(sink.events, row.c.events)
        << entry << " " << row.c.capability << ": " << termtest::visible(bytes);
}

INSTANTIATE_TEST_SUITE_P(Entries, TerminfoStrings, testing::ValuesIn(stringRows()),
                         [](const testing::TestParamInfo<StringRow>& i) { return i.param.name; });

class TerminfoEntries : public testing::TestWithParam<const char*> {};

// The entry compiles cleanly, gives no string the rows above leave untested, has the description's size
// and keys, and never promises automatic margins.
TEST_P(TerminfoEntries, EntryDescribesItsDescription) {
    if (!ticAvailable())
        GTEST_SKIP() << "tic, infocmp or tput is not installed";
    const std::string description = GetParam();
    const std::string entry = entryOf(description);
    const CompiledEntry compiled(entry);
    const Ran tic = compiled.compile();
    ASSERT_EQ(tic.status, 0) << tic.out;
    EXPECT_EQ(tic.out, "") << "tic warns about " << entry;
    const auto table = termtest::shipped(description.c_str());
    ASSERT_NE(table, nullptr);

    const auto caps = compiled.listed();
    EXPECT_EQ(caps.count("am"), 0u) << entry << " promises automatic margins";
    EXPECT_EQ(caps.count("xenl"), 0u) << entry;
    EXPECT_EQ(caps.at("cols"), std::to_string(table->columns())) << entry;
    EXPECT_EQ(caps.at("lines"), std::to_string(table->lines())) << entry;

    std::set<std::string> covered = {"acsc", "u6"}; // acsc is checked below; u6 is the form of our reply
    for (const StringCase& c : entryCases(description))
        covered.insert(c.capability);
    for (const auto& [name, value] : caps) {
        if (!value.empty() && name[0] != 'k' && name != "cols" && name != "lines" && name != "it") {
            EXPECT_EQ(covered.count(name), 1u) << entry << " gives " << name << " without a test";
        }
    }

    std::string key;
    for (int k = 0; k < KeyCount; ++k) {
        ASSERT_EQ(table->GetKeyString(KeyVkCodes[k], key), 1);
        EXPECT_EQ(compiled.tput(KeyCapabilities[k]), key) << entry << " " << KeyCapabilities[k];
    }
    // The keys the descriptions do not name send the same strings on both terminal types.
    EXPECT_EQ(compiled.tput("kf11"), "\x1b[23~") << entry;
    EXPECT_EQ(compiled.tput("kf12"), "\x1b[24~") << entry;
    EXPECT_EQ(compiled.tput("kcbt"), "\x1b[Z") << entry;
}

// The line-drawing characters a far-side program asks for come out as the glyphs meant: through the
// alternate set on the vt100 description, as code page 437 bytes on the ansi one.
TEST_P(TerminfoEntries, LineDrawingShowsTheGlyphsMeant) {
    if (!ticAvailable())
        GTEST_SKIP() << "tic, infocmp or tput is not installed";
    std::map<uint8_t, uint8_t> meant;
    for (const auto& [byte, glyph] : AltCharsetMap)
        meant[byte] = glyph;
    const std::string description = GetParam();
    const std::string entry = entryOf(description);
    const CompiledEntry compiled(entry);
    ASSERT_EQ(compiled.compile().status, 0);
    const std::string acsc = compiled.tput("acsc");
    const std::string smacs = compiled.tput("smacs");
    const std::string rmacs = compiled.tput("rmacs");
    ASSERT_EQ(acsc.size() % 2, 0u) << entry;
    EXPECT_EQ(acsc.size() / 2, meant.size()) << entry;
    for (size_t i = 0; i + 1 < acsc.size(); i += 2) {
        const uint8_t wanted = static_cast<uint8_t>(acsc[i]);
        ASSERT_EQ(meant.count(wanted), 1u) << entry << " draws " << acsc[i];
        termtest::Terminal t(termtest::shipped(description.c_str()));
        t << smacs + acsc[i + 1] + rmacs;
        EXPECT_EQ(t.screen.rowChars(0)[0], meant[wanted]) << entry << " " << acsc[i];
        EXPECT_EQ(t.screen.cursorColumn(), 1) << entry << " " << acsc[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Entries, TerminfoEntries, testing::ValuesIn(Descriptions),
                         [](const testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

} // namespace
