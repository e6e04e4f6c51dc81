#include "qt_launcher.h"
#include "recording_launcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

TEST(QtLauncher, StartsAProgramDetachedWithItsArguments) {
    int argc = 1;
    char name[] = "shell_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString script = tmp.filePath(QStringLiteral("prog"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$1 $2\" > \"$3.part\" && mv \"$3.part\" \"$3\"\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString marker = tmp.filePath(QStringLiteral("marker"));

    shell::QtLauncher launcher;
    ASSERT_TRUE(launcher.startProgram(script, {QStringLiteral("a b"), QStringLiteral("c"), marker}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(marker); }, 10000));
    QFile f(marker);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("a b c\n"));
}

TEST(QtLauncher, MissingProgramIsReportedAsNotStarted) {
    shell::QtLauncher launcher;
    EXPECT_FALSE(launcher.startProgram(QStringLiteral("/nonexistent/folder/halvic")));
}

TEST(RecordingLauncher, RecordsAndReportsTheScriptedOutcome) {
    auto rec = shell::RecordingLauncher::install();
    EXPECT_TRUE(shell::launcher().startProgram(QStringLiteral("/p/bin/halvic")));
    rec->setSucceeds(false);
    EXPECT_FALSE(shell::launcher().openDocument(QStringLiteral("/p/help.chm")));
    const auto launches = rec->launches();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[0].kind, shell::LaunchKind::Program);
    EXPECT_TRUE(launches[0].arguments.isEmpty());
    EXPECT_EQ(launches[1].kind, shell::LaunchKind::Document);
    EXPECT_EQ(launches[1].path, QStringLiteral("/p/help.chm"));
    shell::setLauncher(nullptr);
}

} // namespace
