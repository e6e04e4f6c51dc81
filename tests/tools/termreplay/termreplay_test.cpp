// termreplay as a program: its output format, both input paths and its failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run(const std::string& arguments, const std::string& stdinFile = "/dev/null") {
    const std::string command =
        std::string(BREL_BIN_DIR) + "/termreplay " + arguments + " <" + stdinFile + " 2>&1";
    Outcome r;
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        char pattern[] = "/tmp/termreplay-test-XXXXXX";
        const int fd = mkstemp(pattern);
        close(fd);
        path = pattern;
        std::ofstream(path, std::ios::binary) << bytes;
    }
    ~TempFile() { std::remove(path.c_str()); }
    std::string path;
};

std::string blankRows(int n) {
    return std::string(static_cast<size_t>(n), '\n');
}

TEST(Termreplay, PrintsRowsCursorAndAttributes) {
    const TempFile input("abc  \r\n\x1b[3;5H\x1b[7mRV\x1b[m \x1b[4mU\x1b(0q\x1b(B");
    const std::string vt100 = std::string(BREL_BIN_DIR) + "/vt100";
    std::string attr = "attr 2";
    for (int c = 0; c < 80; ++c) {
        const char* a = c == 4 || c == 5 ? " 01ff" : c == 7 || c == 8 ? " 02ff" : c == 6 ? " 00ff" : " 0000";
        attr += a;
    }
    const std::string want = "abc\n\n    RV U\xC4\n" + blankRows(21) + "cursor 2 9\n" + attr + "\n";
    const Outcome fromFile = run(vt100 + " " + input.path);
    EXPECT_EQ(fromFile.status, 0) << fromFile.out;
    EXPECT_EQ(fromFile.out, want);
    const Outcome fromStdin = run(vt100, input.path);
    EXPECT_EQ(fromStdin.out, want);
}

enum class Failure { NoArguments, MissingDescription, BadDescription, MissingInput };

class TermreplayFailure : public testing::TestWithParam<Failure> {};

TEST_P(TermreplayFailure, ReportsWhatFails) {
    const TempFile bad("bell = ^[\r\n");
    std::string arguments;
    int status = 1;
    std::string output;
    switch (GetParam()) {
    case Failure::NoArguments:
        status = 2;
        output = "usage: termreplay DESCRIPTION-FILE [INPUT-FILE]\n";
        break;
    case Failure::MissingDescription:
        arguments = "/nonexistent/vt100";
        output = "termreplay: Termcap file vt100 open fail\n";
        break;
    case Failure::BadDescription:
        arguments = bad.path;
        output = "termreplay: Termcap file syntax error : line 1\n";
        break;
    case Failure::MissingInput:
        arguments = std::string(BREL_BIN_DIR) + "/ansi /nonexistent/input";
        output = "/nonexistent/input: No such file or directory\n";
        break;
    }
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, status) << arguments;
    EXPECT_EQ(r.out, output) << arguments;
}

const char* const FailureNames[] = {"NoArguments", "MissingDescription", "BadDescription", "MissingInput"};

INSTANTIATE_TEST_SUITE_P(Termreplay, TermreplayFailure,
                         testing::Values(Failure::NoArguments, Failure::MissingDescription,
                                         Failure::BadDescription, Failure::MissingInput),
                         [](const testing::TestParamInfo<Failure>& i) {
                             return std::string(FailureNames[static_cast<int>(i.param)]);
                         });

} // namespace
