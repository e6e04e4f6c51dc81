// Capture and Send Pattern as the user reaches them: the Port Manager menu's actions on a port window
// whose far end is a pty.
#include "halvic_fixture.h"

#include "CaptureSink.h"
#include "ControlIds.h"
#include "option_file_codec.h"
#include "PatternSender.h"
#include "PatternSettings.h"
#include "receive_pipeline.h"
#include "SendPatternDlg.h"
#include "TransmitPatternDlg.h"

#include <QAction>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include <fcntl.h>
#include <sstream>
#include <sys/file.h>

namespace {

using namespace halvictest;

std::string fileText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CaptureMenuTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        halvic::resetPatternSettings();
        app->setSettingsSheet([this](halvic::CHalvicDoc& doc, bool) {
            doc.portSettings = wantedPort;
            doc.terminalSettings = wantedTerminal;
            terminal::setFieldText(doc.transferSettings.captureFileName, captureFile.toStdString());
            return true;
        });
    }

    halvic::CChildFrame* openWith(int type, bool echo) {
        wantedTerminal.terminalType = type;
        wantedTerminal.localEcho = echo ? 1 : 0;
        halvic::CChildFrame* child = openWindow();
        EXPECT_TRUE(child && child->document().IsPortOpen());
        if (child)
            child->view().captureSink().setBeep([this] { ++beeps; });
        return child;
    }
    QAction* action(const char* name) { return mainFrame().action(QString::fromLatin1(name)); }

    QString captureFile = dir.filePath(QStringLiteral("cap5.txt"));
    int beeps = 0;
};

TEST_F(CaptureMenuTest, CaptureIsCheckedBlinksAndEndsWithPortDisable) {
    halvic::CChildFrame* child = openWith(2, true);
    ASSERT_TRUE(child);
    trigger("capture");
    EXPECT_TRUE(action("capture")->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(child->statusPaneText(), QStringLiteral("Capturing..."), 1500);
    QTRY_COMPARE_WITH_TIMEOUT(child->statusPaneText(), QString(), 1500);

    trigger("portDisable");
    ASSERT_TRUE(waitFor([&] { return !child->document().IsPortOpen(); }));
    EXPECT_FALSE(child->view().capturing());
    EXPECT_FALSE(action("capture")->isChecked());
    // Closed: another writer may take the file now.
    const int fd = ::open(captureFile.toLocal8Bit().constData(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    EXPECT_EQ(beeps, 0);
}

TEST_F(CaptureMenuTest, AFileInAMissingFolderGivesTheStatusTextABeepAndNoCheckMark) {
    captureFile = dir.filePath(QStringLiteral("missing/cap5.txt"));
    halvic::CChildFrame* child = openWith(0, false);
    ASSERT_TRUE(child);
    trigger("capture");
    EXPECT_EQ(child->statusPaneText(), QStringLiteral("Capture file open fail"));
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(action("capture")->isChecked());
    EXPECT_FALSE(child->view().capturing());
    EXPECT_TRUE(messages->boxes().empty()) << "no message box";
}

TEST_F(CaptureMenuTest, DumbLocalEchoIsCapturedAsTyped) {
    std::ofstream(captureFile.toStdString()) << "before|";
    halvic::CChildFrame* child = openWith(2, true);
    ASSERT_TRUE(child);
    trigger("capture");
    child->view().setFocus();
    QTest::keyClicks(&child->view(), QStringLiteral("hi"));
    EXPECT_EQ(takeFrom(pty.master(), 2), "hi");
    trigger("capture");
    EXPECT_FALSE(action("capture")->isChecked());
    QTest::keyClicks(&child->view(), QStringLiteral("x"));
    EXPECT_EQ(fileText(captureFile), "before|hi");
}

TEST_F(CaptureMenuTest, SendPatternFromTheMenuKeepsTheWindowBusyUntilDone) {
    halvic::CChildFrame* child = openWith(0, false);
    ASSERT_TRUE(child);
    bool busySeen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<halvic::CSendPatternDlg*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dlg);
        auto* start = dlg->findChild<QLineEdit*>(QLatin1String(halvic::kIdcRangeStartEdit));
        QTest::keyClicks(start, QStringLiteral("41"));
        auto* end = dlg->findChild<QLineEdit*>(QLatin1String(halvic::kIdcRangeEndEdit));
        end->setFocus();
        QTest::keyClicks(end, QStringLiteral("43"));
        auto* repeat = dlg->findChild<QRadioButton*>(QLatin1String(halvic::kIdcRepeatRadio));
        QTest::mouseClick(repeat, Qt::LeftButton, {}, QPoint(6, repeat->height() / 2));
        auto* count = dlg->findChild<QLineEdit*>(QLatin1String(halvic::kIdcRepeatCountEdit));
        count->selectAll();
        QTest::keyClicks(count, QStringLiteral("40"));
        QTest::mouseClick(dlg->findChild<QAbstractButton*>(QStringLiteral("startSend")), Qt::LeftButton);
    });
    QObject::connect(&child->view(), &halvic::CHalvicView::busyChanged, [&](bool busy) {
        if (!busy)
            return;
        busySeen = true;
        mainFrame().updateActions();
        for (const char* name : {"capture", "sendPattern", "portDisable", "properties"})
            EXPECT_FALSE(action(name)->isEnabled()) << name;
    });
    trigger("sendPattern");
    EXPECT_TRUE(busySeen);
    std::string want;
    for (int i = 0; i < 40; ++i)
        want += "ABC";
    std::string got = takeFrom(pty.master(), want.size(), 3000);
    QTRY_VERIFY(!child->view().IsBusy());
    got += takeFrom(pty.master(), 1, 100); // the job is over: whatever else it wrote is on the line now
    EXPECT_EQ(got, want);
    EXPECT_TRUE(action("sendPattern")->isEnabled());
    EXPECT_TRUE(action("capture")->isEnabled());
}

TEST_F(CaptureMenuTest, AnAutomaticDownloadWaitsForARunningPattern) {
    halvic::CChildFrame* child = openWith(0, false);
    ASSERT_TRUE(child);
    child->document().transferSettings.zmodemAutoDownload = 1;
    child->view().pipeline().setAutoDownload(true);
    QTimer::singleShot(0, [] {
        auto* dlg = qobject_cast<halvic::CSendPatternDlg*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dlg);
        QTest::keyClicks(dlg->findChild<QLineEdit*>(QLatin1String(halvic::kIdcRangeStartEdit)),
                         QStringLiteral("41"));
        auto* end = dlg->findChild<QLineEdit*>(QLatin1String(halvic::kIdcRangeEndEdit));
        end->setFocus();
        QTest::keyClicks(end, QStringLiteral("5a"));
        QTest::mouseClick(dlg->findChild<QAbstractButton*>(QStringLiteral("startSend")), Qt::LeftButton);
    });
    trigger("sendPattern");
    ASSERT_TRUE(child->view().IsBusy());
    // A sender's opening header while the pattern runs starts no receive on the same port.
    putTo(pty.master(), std::string("**\x18") + "B00000000000000\r\x8a\x11");
    std::string got = takeFrom(pty.master(), 1u << 20, 500);
    QTest::mouseClick(
        child->view().patternSender().progressDialog()->findChild<QAbstractButton*>(QStringLiteral("stop")),
        Qt::LeftButton);
    QTRY_VERIFY(!child->view().IsBusy());
    got += takeFrom(pty.master(), 1u << 20, 300);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << "only the pattern";
}

// What reaches the capture file of a port window, by terminal type: text after recognition, raw dumb
// blocks and the dumb terminal's local echo.
struct CaptureRow {
    const char* name;
    int type; // 0 ANSI, 2 Dumb Terminal
    bool echo;
    std::string received;
    std::string typed;
    std::string file;
};

class CaptureReceivedTest : public CaptureMenuTest, public ::testing::WithParamInterface<CaptureRow> {};

TEST_P(CaptureReceivedTest, TheFileHoldsWhatTheWindowShowsAsText) {
    const CaptureRow& row = GetParam();
    halvic::CChildFrame* child = openWith(row.type, row.echo);
    ASSERT_TRUE(child);
    trigger("capture");
    putTo(pty.master(), row.received);
    const size_t wantReceived = row.file.size() - row.typed.size();
    ASSERT_TRUE(waitFor([&] { return fileText(captureFile).size() >= wantReceived; }))
        << fileText(captureFile);
    child->view().setFocus();
    QTest::keyClicks(&child->view(), QString::fromStdString(row.typed));
    EXPECT_EQ(takeFrom(pty.master(), row.typed.size()), row.typed);
    trigger("capture");
    EXPECT_EQ(fileText(captureFile), row.file);
    EXPECT_EQ(beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptureReceivedTest,
    ::testing::Values(CaptureRow{"AnsiSequenceRecognised", 0, false, "ab\x1b[2Jcd", "", "abcd"},
                      CaptureRow{"AnsiUnknownSequence", 0, false, "a\x1bxb", "", "a\x1bxb"},
                      CaptureRow{"DumbRawBytes", 2, false, "one\r\ntwo\r\x1b[2J", "", "one\r\ntwo\r\x1b[2J"},
                      CaptureRow{"DumbLocalEcho", 2, true, "rx", "k", "rxk"}),
    [](const ::testing::TestParamInfo<CaptureRow>& info) { return std::string(info.param.name); });

} // namespace
