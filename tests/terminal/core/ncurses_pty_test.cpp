// ncurses as an independent host program: a terminal entry compiled by tic from our vt100 description,
// scenes drawn through ncurses on a pseudo-terminal, and the bytes ncurses chose run through our
// recogniser and screen. The final screen must be what ncurses believes it drew.
#include "alt_charset.h"
#include "termcap_line.h"
#include "termcap_source.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace terminal;

namespace {

// Our value syntax is that of terminal database strings except for the parameters, which are numbered.
std::string terminfoValue(std::string_view ours, int fixedParameter = -1) {
    std::string out;
    int parameter = 1;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] == '%' && i + 1 < ours.size() && ours[i + 1] == 'd') {
            out += fixedParameter >= 0 ? std::to_string(fixedParameter)
                                       : "%p" + std::to_string(parameter++) + "%d";
            ++i;
        } else if (ours[i] == '%' && i + 1 < ours.size() && ours[i + 1] == 'i') {
            out += "%i";
            ++i;
        } else if (ours[i] == ',') {
            out += "\\,";
        } else {
            out += ours[i];
        }
    }
    return out;
}

// The first value of each capability in our description.
std::map<std::string, std::string> descriptionValues(const std::string& path) {
    FileTermcapSource source(path);
    TermcapLineReader reader(source);
    std::map<std::string, std::string> values;
    std::string line;
    for (int n; (n = reader.ReadTermcapLine(line)) != TermcapLineReader::EndOfFile;) {
        std::string name;
        std::string value;
        if (n > 0 && SplitNameValue(line, name, value) == SplitResult::NameAndValue && !values.count(name))
            values[name] = value;
    }
    return values;
}

std::string terminfoSource(const std::map<std::string, std::string>& ours) {
    static const std::pair<const char*, const char*> names[] = {
        {"bell", "bel"},
        {"cursor_left", "cub1"},
        {"tab", "ht"},
        {"back_tab", "cbt"},
        {"cursor_address", "cup"},
        {"cursor_home", "home"},
        {"cursor_up", "cuu1"},
        {"cursor_down", "cud1"},
        {"cursor_right", "cuf1"},
        {"parm_up_cursor", "cuu"},
        {"parm_down_cursor", "cud"},
        {"parm_right_cursor", "cuf"},
        {"parm_left_cursor", "cub"},
        {"clr_eos", "ed"},
        {"clr_eol", "el"},
        {"exit_attribute_mode", "sgr0"},
        {"change_scroll_region", "csr"},
        {"save_cursor", "sc"},
        {"restore_cursor", "rc"},
        {"scroll_forward", "ind"},
        {"scroll_reverse", "ri"},
        {"enter_alt_charset_mode", "smacs"},
        {"exit_alt_charset_mode", "rmacs"},
        {"insert_line", "il1"},
        {"delete_line", "dl1"},
        {"insert_character", "ich1"},
        {"delete_character", "dch1"},
        {"cursor_invisible", "civis"},
        {"cursor_normal", "cnorm"},
    };
    std::string acsc;
    for (const auto& [byte, glyph] : AltCharsetMap)
        acsc += std::string(2, static_cast<char>(byte));
    std::string ti = "halvic-vt100|derived from the vt100 description,\n\tcols#80, lines#" +
                     ours.at("lines") + ", it#8,\n\tcr=\\r, acsc=" + terminfoValue(acsc) + ",\n";
    for (const auto& [mine, theirs] : names)
        ti += "\t" + std::string(theirs) + "=" + terminfoValue(ours.at(mine)) + ",\n";
    const std::string& sgr = ours.at("set_attribute");
    ti += "\trev=" + terminfoValue(sgr, 7) + ", smso=" + terminfoValue(sgr, 7) +
          ", smul=" + terminfoValue(sgr, 4) + ",\n\trmso=" + terminfoValue(ours.at("exit_attribute_mode")) +
          ", rmul=" + terminfoValue(ours.at("exit_attribute_mode")) +
          ",\n\tclear=" + terminfoValue(ours.at("cursor_home")) + terminfoValue(ours.at("clr_eos")) + ",\n";
    return ti;
}

class NcursesPty : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/terminfo-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        const std::string source = dir_ + "/halvic-vt100.ti";
        std::ofstream(source) << terminfoSource(descriptionValues(std::string(BREL_BIN_DIR) + "/vt100"));
        const std::string command = "tic -x -o " + dir_ + " " + source + " 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        char buffer[512];
        size_t n = 0;
        while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            ticOutput_.append(buffer, n);
        ticStatus_ = pipe ? pclose(pipe) : -1;
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }

    // Runs the scene program on a pty and returns everything it wrote.
    std::string runScene(const std::string& scene, const std::string& dump) {
        int master = -1;
        int slave = -1;
        struct winsize size {};
        size.ws_row = 24;
        size.ws_col = 80;
        struct termios raw {};
        cfmakeraw(&raw);
        if (openpty(&master, &slave, nullptr, &raw, &size) != 0) {
            ADD_FAILURE() << "openpty: " << std::strerror(errno);
            return {};
        }
        const pid_t child = fork();
        if (child == 0) {
            setsid();
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            close(master);
            close(slave);
            setenv("TERM", "halvic-vt100", 1);
            setenv("TERMINFO", dir_.c_str(), 1);
            unsetenv("LINES");
            unsetenv("COLUMNS");
            const std::string program = std::string(BREL_TESTS_DIR) + "/ncurses_scene";
            execl(program.c_str(), program.c_str(), scene.c_str(), dump.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(slave);
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            pollfd p{master, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ADD_FAILURE() << "the scene did not finish";
                kill(child, SIGKILL);
                break;
            }
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0)
                break; // EIO once the program has closed its side
            out.append(buffer, static_cast<size_t>(n));
        }
        close(master);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "scene " << scene << " status " << status;
        return out;
    }

    static std::string dir_;
    static std::string ticOutput_;
    static int ticStatus_;
};

std::string NcursesPty::dir_;
std::string NcursesPty::ticOutput_;
int NcursesPty::ticStatus_ = -1;

TEST_F(NcursesPty, ScenesLookAsNcursesDrewThem) {
    ASSERT_EQ(ticStatus_, 0) << ticOutput_;
    for (const char* scene : {"text", "scroll", "edits"}) {
        const std::string dump = dir_ + "/" + scene + ".dump";
        const std::string bytes = runScene(scene, dump);
        ASSERT_FALSE(bytes.empty()) << scene;
        termtest::Terminal t(termtest::shipped("vt100"));
        t << bytes;
        std::ifstream in(dump);
        std::string text;
        std::string flags;
        int row = 0;
        const auto& alt = altCharsetTable();
        while (std::getline(in, text) && std::getline(in, flags)) {
            ASSERT_EQ(text.size(), 80u);
            const auto chars = t.screen.rowChars(row);
            const auto attrs = t.screen.rowAttrs(row);
            for (size_t c = 0; c < 80; ++c) {
                const int f = flags[c] - '0';
                const uint8_t want =
                    (f & 4) ? alt[static_cast<uint8_t>(text[c])] : static_cast<uint8_t>(text[c]);
                ASSERT_EQ(chars[c], want)
                    << scene << " row " << row << " column " << c
                    << "\nours: " << termtest::visible(std::string(chars.begin(), chars.end()))
                    << "\nwant: " << text;
                ASSERT_EQ(bool(attrs[c] & AttrReverse), bool(f & 1))
                    << scene << " row " << row << " column " << c;
                ASSERT_EQ(bool(attrs[c] & AttrUnderline), bool(f & 2))
                    << scene << " row " << row << " column " << c;
            }
            ++row;
        }
        EXPECT_EQ(row, 24) << scene;
    }
}

} // namespace
