// The command line every program reads before it reaches the window system.
#include "command_line.h"
#include "program_version.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* kUsage = "Usage: prog [options] [file]\n";

struct LineCase {
    const char* name;
    QStringList arguments; // after the program's name
    bool exitNow;
    int status;
    const char* out; // what standard output starts with; empty: nothing
    const char* err; // what standard error starts with; empty: nothing
    QStringList positional;
};

class CommandLine : public testing::TestWithParam<LineCase> {};

TEST_P(CommandLine, HelpVersionAndRefusalsEndTheProgramWithTheirStatus) {
    const LineCase& c = GetParam();
    const shell::CommandLineOutcome o =
        shell::parseCommandLine({QStringLiteral("prog"), QString::fromLatin1(kUsage), 1},
                                QStringList{QStringLiteral("/usr/bin/prog")} + c.arguments);
    EXPECT_EQ(o.exitNow, c.exitNow);
    EXPECT_EQ(o.exitStatus, c.status);
    EXPECT_EQ(o.out.left(int(std::strlen(c.out))), QString::fromLatin1(c.out)) << o.out.toStdString();
    EXPECT_EQ(o.out.isEmpty(), *c.out == '\0');
    EXPECT_EQ(o.err.left(int(std::strlen(c.err))), QString::fromLatin1(c.err)) << o.err.toStdString();
    EXPECT_EQ(o.err.isEmpty(), *c.err == '\0');
    if (c.status == 2) {
        EXPECT_TRUE(o.err.endsWith(QString::fromLatin1(kUsage)));
    }
    EXPECT_EQ(o.positional, c.positional);
}

const QString kVersionLine = QStringLiteral("prog ") + shell::programVersion() + QLatin1Char('\n');

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLine,
    testing::Values(LineCase{"Nothing", {}, false, 0, "", "", {}},
                    LineCase{"OptionFile", {"work.hlv"}, false, 0, "", "", {"work.hlv"}},
                    LineCase{"Help", {"--help"}, true, 0, kUsage, "", {}},
                    LineCase{"ShortHelpBeforeAFile", {"-h", "work.hlv"}, true, 0, kUsage, "", {}},
                    LineCase{"Version", {"--version"}, true, 0, "prog 1.", "", {}},
                    LineCase{"Unknown", {"--bogus"}, true, 2, "", "prog: Unknown option 'bogus'.", {}},
                    LineCase{"TooManyFiles",
                             {"a.hlv", "b.hlv"},
                             true,
                             2,
                             "",
                             "prog: unexpected argument 'b.hlv'",
                             {"a.hlv", "b.hlv"}},
                    LineCase{"DashedFileAfterDoubleDash", {"--", "--help"}, false, 0, "", "", {"--help"}}),
    [](const testing::TestParamInfo<LineCase>& i) { return std::string(i.param.name); });

TEST(CommandLine, VersionPrintsTheBuildsVersion) {
    const shell::CommandLineOutcome o =
        shell::parseCommandLine({QStringLiteral("prog"), QString::fromLatin1(kUsage), 0},
                                {QStringLiteral("prog"), QStringLiteral("-v")});
    EXPECT_EQ(o.out, kVersionLine);
    EXPECT_FALSE(shell::programVersion().isEmpty());
}

} // namespace
