#pragma once
// The programs' command lines: --help and --version, an unknown option refused. Read before any window
// system is reached, so both work without a display.

#include <QString>
#include <QStringList>

namespace shell {

struct CommandLineSyntax {
    QString program;     // the name in the usage line and the version line, e.g. "halvic"
    QString usage;       // the whole help text, ending in a newline
    int maxPositional{}; // how many plain arguments the program takes
};

struct CommandLineOutcome {
    bool exitNow = false; // the program ends with exitStatus without starting
    int exitStatus = 0;   // 0 after --help or --version, 2 for a command line it does not take
    QString out;          // for standard output
    QString err;          // for standard error
    QStringList positional;
};

// arguments: the whole command line, the program's own name first.
CommandLineOutcome parseCommandLine(const CommandLineSyntax& syntax, const QStringList& arguments);

// The command line of main(argc, argv), in the locale's encoding.
QStringList argumentsOf(int argc, char* argv[]);

// Prints the outcome's texts; returns its exit status.
int printOutcome(const CommandLineOutcome& outcome);

} // namespace shell
