#include "command_line.h"

#include "program_version.h"

#include <QCommandLineParser>

#include <cstdio>

namespace shell {

CommandLineOutcome parseCommandLine(const CommandLineSyntax& syntax, const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(help);
    parser.addOption(version);
    CommandLineOutcome outcome;
    const auto refuse = [&](const QString& why) {
        outcome.exitNow = true;
        outcome.exitStatus = 2;
        outcome.err = syntax.program + QStringLiteral(": ") + why + QLatin1Char('\n') + syntax.usage;
    };
    if (!parser.parse(arguments)) {
        refuse(parser.errorText());
        return outcome;
    }
    if (parser.isSet(help)) {
        outcome.exitNow = true;
        outcome.out = syntax.usage;
        return outcome;
    }
    if (parser.isSet(version)) {
        outcome.exitNow = true;
        outcome.out = syntax.program + QLatin1Char(' ') + programVersion() + QLatin1Char('\n');
        return outcome;
    }
    outcome.positional = parser.positionalArguments();
    if (outcome.positional.size() > syntax.maxPositional)
        refuse(QStringLiteral("unexpected argument '%1'").arg(outcome.positional.at(syntax.maxPositional)));
    return outcome;
}

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

int printOutcome(const CommandLineOutcome& outcome) {
    std::fputs(outcome.out.toLocal8Bit().constData(), stdout);
    std::fputs(outcome.err.toLocal8Bit().constData(), stderr);
    std::fflush(stdout);
    return outcome.exitStatus;
}

} // namespace shell
