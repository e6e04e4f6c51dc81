#include "OptionFile.h"
#include "OptionFilePlacement.h"
#include "scripted_file_dialogs.h"
#include "scripted_messenger.h"
#include "test_application.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <sys/resource.h>

using namespace terminal;

namespace {

Profile profileFor(int port) {
    Profile p;
    setFieldText(p.port.portName, "COM" + std::to_string(port));
    p.port.portNumber = port;
    p.port.baudIndex = 12;
    p.terminal.terminalType = port % 3;
    setFieldText(p.transfer.receiveDirectory, "/srv/in/");
    p.placement = {0, 0, 400, 300, 0, 0, 0, 400, 300};
    return p;
}

std::vector<Profile> profiles(int n) {
    std::vector<Profile> v;
    for (int i = 1; i <= n; ++i) {
        v.push_back(profileFor(i));
    }
    return v;
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray encoded(const std::vector<Profile>& v) {
    const std::vector<uint8_t> b = encodeOptionFile(OptionFileContents{v, {}});
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

class OptionFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::testApplication();
        ASSERT_TRUE(dir.isValid());
        dialogs = gui::ScriptedFileDialogs::install();
        messages = gui::ScriptedMessenger::install();
    }
    QString at(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QTemporaryDir dir;
    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    std::shared_ptr<gui::ScriptedMessenger> messages;
};

TEST_F(OptionFileTest, SaveAsAsksOnceThenSaveWritesTheSameFileSilently) {
    OptionFile of(dir.path());
    dialogs->answer({at("work")});
    ASSERT_EQ(of.WriteOptionFile(false, profiles(2)), 1);
    ASSERT_EQ(dialogs->requests().size(), 1u);
    const gui::DialogRequest ask = dialogs->requests()[0];
    EXPECT_EQ(ask.kind, gui::DialogKind::Save);
    EXPECT_EQ(ask.caption, "Save Setting to Option File");
    EXPECT_EQ(ask.start, at("halvic.hlv"));
    EXPECT_EQ(ask.filter, "Halvic file(*.hlv)");
    EXPECT_TRUE(ask.confirmOverwrite);
    EXPECT_EQ(of.path(), at("work.hlv")) << "the default extension is added";
    EXPECT_EQ(of.title(), "work");
    EXPECT_TRUE(of.hasName());
    EXPECT_EQ(contentOf(at("work.hlv")), encoded(profiles(2)));

    ASSERT_EQ(of.WriteOptionFile(false, profiles(3)), 1);
    EXPECT_EQ(dialogs->requests().size(), 1u) << "a named file is saved without a dialog";
    EXPECT_EQ(contentOf(at("work.hlv")), encoded(profiles(3)));
    EXPECT_TRUE(messages->boxes().empty());

    dialogs->answer({QString()});
    EXPECT_EQ(of.WriteOptionFile(true, profiles(1)), 0) << "Save As cancelled";
    EXPECT_EQ(contentOf(at("work.hlv")), encoded(profiles(3)));
    EXPECT_EQ(of.path(), at("work.hlv"));
}

TEST_F(OptionFileTest, ReadHandsOutTheProfilesOnceAndPlacesTheMainWindow) {
    std::vector<Profile> three = profiles(3);
    OptionFileContents c{three, {}};
    c.mainWindow.normalLeft = 10;
    c.mainWindow.normalTop = 20;
    c.mainWindow.normalRight = 610;
    c.mainWindow.normalBottom = 420;
    const std::vector<uint8_t> bytes = encodeOptionFile(c);
    ASSERT_TRUE(writeBytes(at("set.hlv"),
                           QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));

    QWidget main;
    OptionFile of(QStringLiteral("/opt/halvic/bin"));
    EXPECT_EQ(of.folder(), "/opt/halvic/bin/");
    of.setMainWindow(&main);
    ASSERT_EQ(of.ReadOptionFile(at("set.hlv")), 1);
    EXPECT_TRUE(of.loaded());
    EXPECT_TRUE(of.hasName());
    EXPECT_EQ(of.path(), at("set.hlv"));
    EXPECT_EQ(of.folder(), dir.path() + "/");
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.size(), QSize(600, 400));
    EXPECT_EQ(of.mainWindowPlacement(), c.mainWindow);

    // The file on disk no longer matters: the profiles checked at reading are the ones handed out.
    ASSERT_TRUE(QFile::remove(at("set.hlv")));
    for (const Profile& expected : three) {
        Profile p;
        ASSERT_TRUE(of.ReadNextProfile(p));
        EXPECT_EQ(p, expected);
    }
    Profile none;
    EXPECT_FALSE(of.ReadNextProfile(none));
    EXPECT_TRUE(messages->boxes().empty());
}

TEST_F(OptionFileTest, AfterSavingFewerWindowsNoStaleProfileIsHandedOut) {
    ASSERT_TRUE(writeBytes(at("three.hlv"), encoded(profiles(3))));
    OptionFile of(dir.path());
    ASSERT_EQ(of.ReadOptionFile(at("three.hlv")), 1);
    Profile p;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(of.ReadNextProfile(p));
    }
    // Two windows closed, the one left saved; the application then counts one open port.
    ASSERT_EQ(of.WriteOptionFile(false, profiles(1)), 1);
    of.setNextProfileIndex(1);
    EXPECT_FALSE(of.ReadNextProfile(p)) << "a new window must not get a profile from beyond the file";
    EXPECT_EQ(contentOf(at("three.hlv")), encoded(profiles(1)));
}

struct ReadFailureCase {
    const char* name;
    QByteArray bytes; // null: no file at all
    QString message;
};

std::vector<ReadFailureCase> readFailureCases() {
    QByteArray valid = encoded(profiles(2));
    QByteArray shortByOne = valid.left(valid.size() - 1);
    QByteArray badField = valid;
    badField[23 + 912 + 36] = 20; // second profile's baud index
    QByteArray zeroCount = valid;
    zeroCount[19] = 0;
    return {
        {"Missing", QByteArray(), "Profile %1 open fail"},
        {"OneByteShort", shortByOne, "Profile %1 data corrupted !"},
        {"BadField", badField, "Profile %1 data corrupted !"},
        {"Count0", zeroCount, "Profile %1 data corrupted !"},
        {"Empty", QByteArray(""), "Profile %1 data corrupted !"},
    };
}

class OptionFileReadFailure : public OptionFileTest, public testing::WithParamInterface<ReadFailureCase> {};

TEST_P(OptionFileReadFailure, ReadFailuresShowTheirMessageAndHandOutNothing) {
    const ReadFailureCase& c = GetParam();
    const QString path = at(QString::fromLatin1(c.name) + ".hlv");
    if (!c.bytes.isNull()) {
        ASSERT_TRUE(writeBytes(path, c.bytes));
    }
    OptionFile of(dir.path());
    messages->clear();
    EXPECT_EQ(of.ReadOptionFile(path), 0) << c.name;
    ASSERT_EQ(messages->boxes().size(), 1u) << c.name;
    const gui::Box box = messages->last();
    EXPECT_EQ(box.text, QString(c.message).replace("%1", path)) << c.name;
    EXPECT_EQ(box.caption, "Halvic");
    EXPECT_EQ(box.icon, gui::Icon::Warning);
    EXPECT_FALSE(of.loaded()) << c.name;
    EXPECT_FALSE(of.hasName()) << c.name;
    Profile p;
    EXPECT_FALSE(of.ReadNextProfile(p)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(OptionFileTest, OptionFileReadFailure, testing::ValuesIn(readFailureCases()),
                         [](const testing::TestParamInfo<ReadFailureCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(OptionFileTest, AFolderOrAFifoInPlaceOfTheFileIsRefused) {
    // A folder in place of the file cannot be opened as one; a FIFO is refused without waiting for
    // a writer.
    OptionFile of(dir.path());
    EXPECT_EQ(of.ReadOptionFile(dir.path()), 0);
    const QString fifo = at("fifo.hlv");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    messages->clear();
    EXPECT_EQ(of.ReadOptionFile(fifo), 0);
    EXPECT_EQ(messages->last().text, "Profile " + fifo + " open fail");
}

TEST_F(OptionFileTest, AFailedReadAfterAGoodOneHandsOutNothingFromEither) {
    ASSERT_TRUE(writeBytes(at("good.hlv"), encoded(profiles(2))));
    ASSERT_TRUE(writeBytes(at("bad.hlv"), encoded(profiles(2)).left(100)));
    OptionFile of(dir.path());
    ASSERT_EQ(of.ReadOptionFile(at("good.hlv")), 1);
    EXPECT_EQ(of.ReadOptionFile(at("bad.hlv")), 0);
    Profile p;
    EXPECT_FALSE(of.ReadNextProfile(p));
}

TEST_F(OptionFileTest, NothingIsWrittenWithoutAPortWindow) {
    ASSERT_TRUE(writeBytes(at("keep.hlv"), encoded(profiles(2))));
    OptionFile of(dir.path());
    ASSERT_EQ(of.ReadOptionFile(at("keep.hlv")), 1);
    EXPECT_EQ(of.WriteOptionFile(false, {}), 0);
    EXPECT_EQ(contentOf(at("keep.hlv")), encoded(profiles(2)))
        << "the good file is not replaced by one we refuse";
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, "No port window is open: nothing to save");
    EXPECT_TRUE(dialogs->requests().empty());
}

TEST_F(OptionFileTest, AWriteThatCannotStartOrFinishKeepsTheOldFile) {
    // The folder of the target is a regular file: the new file cannot even be created.
    ASSERT_TRUE(writeBytes(at("plain"), "x"));
    OptionFile blocked(dir.path());
    dialogs->answer({at("plain/set.hlv")});
    EXPECT_EQ(blocked.WriteOptionFile(false, profiles(1)), 0);
    EXPECT_EQ(messages->last().text, "Profile " + at("plain/set.hlv") + " open fail");
    EXPECT_FALSE(blocked.hasName());

    // The disk fills up halfway: the old file must survive whole, and no partial file is left over.
    ASSERT_TRUE(writeBytes(at("old.hlv"), encoded(profiles(1))));
    OptionFile of(dir.path());
    ASSERT_EQ(of.ReadOptionFile(at("old.hlv")), 1);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 2000; // less than the three profiles need
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int written = of.WriteOptionFile(false, profiles(3));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(messages->last().text, "Profile " + at("old.hlv") + " write fail");
    EXPECT_EQ(contentOf(at("old.hlv")), encoded(profiles(1)));
    const QStringList left = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList({"old.hlv", "plain"}));
}

TEST_F(OptionFileTest, SaveAsMakesALauncherInTheLinkFolder) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("links"));
    OptionFile of(dir.path());
    of.setLinkPath(at("links"));
    of.setProgramPath(QStringLiteral("/opt/my apps/halvic"));
    dialogs->answer({at("100% \"lab\".hlv")});
    ASSERT_EQ(of.WriteOptionFile(true, profiles(1)), 1);
    const QString link = at("links/100% \"lab\".desktop");
    ASSERT_TRUE(QFileInfo::exists(link));
    EXPECT_TRUE(QFileInfo(link).isExecutable());

    const QByteArray raw = contentOf(link);
    EXPECT_TRUE(raw.startsWith("[Desktop Entry]\n"));
    for (const char* line : {"Type=Application\n", "Name=100% \"lab\"\n", "Comment=100% \"lab\"\n"}) {
        EXPECT_TRUE(raw.contains(line)) << line;
    }
    const QByteArray exec =
        "Exec=\"/opt/my apps/halvic\" \"" + at("100%% \\\\\"lab\\\\\".hlv").toUtf8() + "\"\n";
    EXPECT_TRUE(raw.contains(exec)) << raw.toStdString();

    // Save to the named file: no dialog, no new launcher.
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_EQ(of.WriteOptionFile(false, profiles(2)), 1);
    EXPECT_FALSE(QFileInfo::exists(link));
}

TEST_F(OptionFileTest, MainWindowPlacementRoundTrip) {
    QWidget w;
    w.setGeometry(30, 40, 500, 300);
    const WindowPlacement p = windowPlacementOf(w);
    EXPECT_EQ(p.length, 44u);
    EXPECT_EQ(p.showCmd, 1u);
    EXPECT_EQ(p.normalRight - p.normalLeft, 500);
    EXPECT_EQ(p.normalBottom - p.normalTop, 300);

    WindowPlacement hostile = p;
    hostile.normalLeft = INT32_MIN;
    hostile.normalRight = INT32_MAX;
    QWidget other;
    other.resize(200, 100);
    applyWindowPlacement(other, hostile);
    EXPECT_EQ(other.size(), QSize(200, 100)) << "a nonsense rectangle is not applied";

    WindowPlacement maximised = p;
    maximised.showCmd = 3;
    applyWindowPlacement(other, maximised);
    EXPECT_TRUE(other.isMaximized());
    EXPECT_EQ(windowPlacementOf(other).showCmd, 3u);
}

} // namespace
