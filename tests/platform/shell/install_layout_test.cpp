#include "install_layout.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct LayoutCase {
    const char* name;
    const char* programDir;
    const char* root;
};

class InstallLayoutFolders : public testing::TestWithParam<LayoutCase> {};

TEST_P(InstallLayoutFolders, FoldersFollowFromTheProgramFolder) {
    const LayoutCase& c = GetParam();
    const shell::InstallLayout layout(QString::fromLatin1(c.programDir));
    const QString root = QString::fromLatin1(c.root);
    EXPECT_EQ(layout.root(), root);
    EXPECT_EQ(layout.program(QStringLiteral("halvic")), root + QStringLiteral("/bin/halvic"));
    EXPECT_EQ(layout.helpFile(QStringLiteral("Q86_Series_Help.chm")),
              root + QStringLiteral("/share/doc/vantro/Q86_Series_Help.chm"));
    EXPECT_EQ(layout.descriptionDirs().last(), root + QStringLiteral("/share/halvic"));
    EXPECT_EQ(layout.descriptionDirs().first(), layout.programDir());
}

INSTANTIATE_TEST_SUITE_P(ProgramFolders, InstallLayoutFolders,
                         testing::Values(LayoutCase{"UsrLocalBin", "/usr/local/bin", "/usr/local"},
                                         LayoutCase{"TrailingSlash", "/usr/local/bin/", "/usr/local"},
                                         LayoutCase{"DotInThePath", "/opt/brel/./bin", "/opt/brel"},
                                         LayoutCase{"BuildTreeTests", "/work/build/tests", "/work/build"}),
                         [](const testing::TestParamInfo<LayoutCase>& i) {
                             return std::string(i.param.name);
                         });

TEST(InstallLayout, RelativeProgramFolderIsMadeAbsolute) {
    const shell::InstallLayout layout(QStringLiteral("some/bin"));
    EXPECT_TRUE(QDir::isAbsolutePath(layout.root()));
    EXPECT_EQ(layout.root(), QDir::cleanPath(QDir::currentPath() + QStringLiteral("/some")));
}

// The description files: beside the program first (build tree), then the install's share folder.
TEST(InstallLayout, DescriptionFileIsFoundBesideTheProgramThenInShare) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    QDir(root).mkpath(QStringLiteral("bin"));
    QDir(root).mkpath(QStringLiteral("tests"));
    QDir(root).mkpath(QStringLiteral("share/halvic"));
    const auto touch = [&](const QString& relative) {
        QFile f(root + QLatin1Char('/') + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    touch(QStringLiteral("share/halvic/ansi"));
    touch(QStringLiteral("share/halvic/vt100"));
    touch(QStringLiteral("bin/vt100"));
    QDir(root).mkpath(QStringLiteral("bin/dumb")); // a folder of that name is no file

    const shell::InstallLayout installed(root + QStringLiteral("/bin"));
    EXPECT_EQ(installed.descriptionFile(QStringLiteral("ansi")), root + QStringLiteral("/share/halvic/ansi"));
    EXPECT_EQ(installed.descriptionFile(QStringLiteral("vt100")), root + QStringLiteral("/bin/vt100"));
    EXPECT_EQ(installed.descriptionFile(QStringLiteral("dumb")), root + QStringLiteral("/bin/dumb"));
    EXPECT_EQ(installed.descriptionDirs().size(), 2);

    // A test program in another folder of the build tree still finds the files beside the programs.
    const shell::InstallLayout tests(root + QStringLiteral("/tests"));
    EXPECT_EQ(tests.descriptionFile(QStringLiteral("vt100")), root + QStringLiteral("/bin/vt100"));
    EXPECT_EQ(tests.descriptionFile(QStringLiteral("none")), root + QStringLiteral("/tests/none"));
}

TEST(InstallLayout, CurrentIsTheRunningProgramUnlessReplaced) {
    int argc = 1;
    char name[] = "shell_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    EXPECT_EQ(shell::installLayout().programDir(), QCoreApplication::applicationDirPath());

    shell::setInstallLayout(shell::InstallLayout(QStringLiteral("/elsewhere/bin")));
    EXPECT_EQ(shell::installLayout().root(), QStringLiteral("/elsewhere"));
    shell::setInstallLayout(std::nullopt);
    EXPECT_EQ(shell::installLayout().programDir(), QCoreApplication::applicationDirPath());
}

TEST(UserFolders, DocumentsAndDataFoldersAreUsable) {
    int argc = 1;
    char name[] = "shell_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("shell_tests"));
    QStandardPaths::setTestModeEnabled(true);

    EXPECT_FALSE(shell::documentsFolder().isEmpty());
    const QString data = shell::dataFolder();
    ASSERT_FALSE(data.isEmpty());
    EXPECT_TRUE(QFileInfo(data).isDir());
    EXPECT_TRUE(QFileInfo(data).isWritable());
    EXPECT_EQ(shell::dataFolder(), data); // made once, found again
    QDir(data).removeRecursively();
}

} // namespace
