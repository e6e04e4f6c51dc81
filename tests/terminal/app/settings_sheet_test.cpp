// A newcomer's road through the real menus and the settings sheet: a port window opened and talked
// to, Properties changing it, Save and Open, exit, and the keys that belong to the terminal.
#include "halvic_fixture.h"
#include "install_layout.h"
#include "KeyInput.h"
#include "line_control.h"
#include "recording_launcher.h"
#include "scripted_file_dialogs.h"
#include "SettingsPages.h"
#include "SettingsSheet.h"
#include "SettingsValues.h"
#include "WaitDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <cerrno>
#include <deque>
#include <sys/ioctl.h>

using namespace halvictest;

namespace {

using SheetStep = std::function<void(halvic::CSetup&)>;

template <class T>
T* in(halvic::CSetup& sheet, const char* name) {
    T* w = sheet.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void clickButton(halvic::CSetup& sheet, QDialogButtonBox::StandardButton which) {
    QPushButton* button = sheet.findChild<QDialogButtonBox*>()->button(which);
    QTest::mouseClick(button, Qt::LeftButton);
}

// The user's choice in a list: the entry picked as a click would pick it.
void choose(halvic::CSetup& sheet, const char* list, int position) {
    QComboBox* box = in<QComboBox>(sheet, list);
    box->setCurrentIndex(position);
    emit box->activated(position);
}

void showPage(halvic::CSetup& sheet, int index) {
    sheet.findChild<QTabWidget*>()->setCurrentIndex(index);
}

// A device that refuses to drop DTR.
class NoDtrDrop : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = TIOCM_CTS | TIOCM_DSR;
        return true;
    }
    bool setLines(int, int, int drop) override {
        if (drop & TIOCM_DTR) {
            errno = EIO;
            return false;
        }
        return true;
    }
    // Called while the notice is up.
    void breakSent(int) override {
        ++breaks;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* wait = qobject_cast<CWaitDlg*>(w); wait && wait->isVisible())
                notice = wait->text();
    }
    int breaks = 0;
    QString notice;
};

class SettingsSheetTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        app->setSettingsSheet(halvic::RunSetupSheet);
        halvic::programPageValues() = {};
        dialogs = gui::ScriptedFileDialogs::install();
        // Each showing of the sheet gets the next step.
        poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, poll, [this] {
            auto* sheet = qobject_cast<halvic::CSetup*>(QApplication::activeModalWidget());
            if (!sheet || !sheet->isVisible() || steps.empty())
                return;
            SheetStep step = steps.front();
            steps.pop_front();
            ++sheetsShown;
            step(*sheet);
        });
        poll->start(5);
    }

    void TearDown() override {
        delete poll;
        comm::setLineControl(pty.slavePath(), nullptr);
        HalvicTest::TearDown();
    }

    // Port Manager > Open with COMn, 9600 and the terminal type chosen in the sheet.
    halvic::CChildFrame* openFromMenu(int port, int type) {
        steps.push_back([port, type](halvic::CSetup& sheet) {
            choose(sheet, "ports", port - 1);
            choose(sheet, "baudRate", 12);
            showPage(sheet, 1);
            choose(sheet, "terminalType", type);
            clickButton(sheet, QDialogButtonBox::Ok);
        });
        trigger("portOpen");
        halvic::CChildFrame* child = mainFrame().activeChild();
        EXPECT_NE(child, nullptr);
        return child;
    }

    std::string typed(halvic::CChildFrame& child, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(&child.view(), key, modifiers);
        return takeFrom(pty.master(), 1, 1000);
    }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
    std::deque<SheetStep> steps;
    int sheetsShown = 0;
    QTimer* poll = nullptr;
};

TEST_F(SettingsSheetTest, NewcomerOpensAPortFromTheMenusAndTalksBothWays) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(sheetsShown, 1);
    EXPECT_EQ(child->windowTitle(), QStringLiteral("COM5,9600,None,8,1,Dumb Terminal"));
    ASSERT_TRUE(child->document().IsPortOpen());
    EXPECT_EQ(child->stateText(), QStringLiteral("State:OPEN"));
    EXPECT_TRUE(messages->boxes().empty());

    EXPECT_EQ(typed(*child, Qt::Key_A, Qt::NoModifier), "a");
    putTo(pty.master(), "hello");
    EXPECT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "hello"; }));
}

TEST_F(SettingsSheetTest, PortInUseIsRefusedAndTheSameSheetComesBackMarked) {
    ASSERT_NE(openFromMenu(kPort, 2), nullptr);
    QString marked;
    steps.push_back([](halvic::CSetup& sheet) { clickButton(sheet, QDialogButtonBox::Ok); }); // COM5 again
    steps.push_back([&](halvic::CSetup& sheet) {
        QComboBox* ports = in<QComboBox>(sheet, "ports");
        marked = ports->itemText(kPort - 1);
        EXPECT_EQ(ports->count(), 256);
        EXPECT_EQ(ports->itemText(kOtherPort - 1), QStringLiteral(" COM9"));
        choose(sheet, "ports", kOtherPort - 1);
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("portOpen");
    EXPECT_EQ(sheetsShown, 3);
    EXPECT_EQ(marked, QStringLiteral("*COM5"));
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().text, QStringLiteral("Port COM5 has been opened !"));
    ASSERT_EQ(mainFrame().childFrames().size(), 2);
    EXPECT_EQ(mainFrame().activeChild()->document().activePort(), kOtherPort);
}

TEST_F(SettingsSheetTest, CancelledSheetOpensNoWindow) {
    steps.push_back([](halvic::CSetup& sheet) { clickButton(sheet, QDialogButtonBox::Cancel); });
    trigger("portOpen");
    EXPECT_EQ(sheetsShown, 1);
    EXPECT_TRUE(mainFrame().childFrames().isEmpty());
    EXPECT_EQ(app->openPortCount(), 0);
}

TEST_F(SettingsSheetTest, PropertiesChangingTheTypeReopensThePort) {
    halvic::CChildFrame* child = openFromMenu(kPort, 0);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowTitle(), QStringLiteral("COM5,9600,None,8,1,ANSI"));
    putTo(pty.master(), "old");
    ASSERT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "old"; }));

    bool portFixed = false;
    steps.push_back([&](halvic::CSetup& sheet) {
        portFixed = !in<QComboBox>(sheet, "ports")->isEnabled();
        showPage(sheet, 1);
        choose(sheet, "terminalType", 2);
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("properties");
    EXPECT_TRUE(portFixed);
    ASSERT_TRUE(waitFor([&] { return child->windowTitle().endsWith(QStringLiteral("Dumb Terminal")); }));
    EXPECT_EQ(child->windowTitle(), QStringLiteral("COM5,9600,None,8,1,Dumb Terminal"));
    ASSERT_TRUE(child->document().IsPortOpen());
    EXPECT_TRUE(child->view().readerRunning());
    EXPECT_EQ(rowText(child->document(), 0), ""); // cleared
    EXPECT_TRUE(app->SettingsChanged());
    putTo(pty.master(), "new");
    EXPECT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "new"; }));
}

// A type chosen while the port is disabled is in force once it is enabled again: the screen is the
// new type's, not the old one's under the new title.
TEST_F(SettingsSheetTest, TypeChangedWhileDisabledIsTheScreensTypeAfterPortEnable) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    trigger("portDisable");
    ASSERT_TRUE(waitFor([&] { return !child->document().IsPortOpen(); }));
    steps.push_back([&](halvic::CSetup& sheet) {
        showPage(sheet, 1);
        choose(sheet, "terminalType", 1);
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("properties");
    ASSERT_TRUE(waitFor([&] { return child->windowTitle().endsWith(QStringLiteral("VT100")); }));
    mainFrame().updateActions();
    trigger("portEnable");
    ASSERT_TRUE(waitFor([&] { return child->view().readerRunning(); }));
    EXPECT_EQ(child->document().screen->lock()->type(), terminal::TerminalType::Vt100);
    putTo(pty.master(), "ab\x1b[Hc");
    EXPECT_TRUE(waitFor([&] { return rowText(child->document(), 0) == "cb"; }))
        << rowText(child->document(), 0);
}

TEST_F(SettingsSheetTest, RefusedSettingRestoresTheRecordsAndKeepsThePortOpen) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    const QString title = child->windowTitle();
    const halvic::PortSettings before = child->document().portSettings;
    auto device = std::make_shared<NoDtrDrop>();
    comm::setLineControl(pty.slavePath(), device);

    steps.push_back([](halvic::CSetup& sheet) {
        choose(sheet, "baudRate", 13); // 19200
        QTest::mouseClick(in<QRadioButton>(sheet, "dtrOff"), Qt::LeftButton);
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("properties");
    ASSERT_EQ(messages->boxes().size(), 1u);
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM5"));
    EXPECT_EQ(messages->last().text, QString::fromLocal8Bit(strerror(EIO)));
    EXPECT_EQ(child->document().portSettings, before);
    EXPECT_EQ(child->windowTitle(), title);
    EXPECT_TRUE(child->document().IsPortOpen());
    EXPECT_TRUE(child->view().readerRunning());
    EXPECT_EQ(typed(*child, Qt::Key_B, Qt::NoModifier), "b");

    // Send Break reaches the line.
    trigger("sendBreak");
    EXPECT_EQ(device->breaks, 1);
    EXPECT_EQ(device->notice, QStringLiteral("Sending Break ..."));
}

TEST_F(SettingsSheetTest, SavedProfileOpensIdenticalInAFreshProgram) {
    halvic::CChildFrame* child = openFromMenu(kPort, 1);
    ASSERT_NE(child, nullptr);
    const QString path = dir.filePath(QStringLiteral("newcomer.hlv"));
    const halvic::CHalvicDoc& doc = child->document();
    const auto port = doc.portSettings;
    const auto terminal = doc.terminalSettings;
    const auto transfer = doc.transferSettings;
    const QString title = child->windowTitle();
    dialogs->answer({path});
    trigger("profileSave");
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(messages->last().text, QStringLiteral("Option file save ok"));

    frame.reset();
    app.reset();
    halvic::programPageValues() = {};
    app = std::make_unique<halvic::CHalvicApp>(QCoreApplication::applicationDirPath());
    dialogs->answer({path});
    trigger("profileOpen");
    ASSERT_TRUE(waitFor([&] { return mainFrame().childFrames().size() == 1; }));
    halvic::CChildFrame* again = mainFrame().childFrames().front();
    EXPECT_EQ(again->document().portSettings, port);
    EXPECT_EQ(again->document().terminalSettings, terminal);
    EXPECT_EQ(again->document().transferSettings, transfer);
    EXPECT_EQ(again->windowTitle(), title);
    EXPECT_TRUE(again->document().IsPortOpen());
    EXPECT_EQ(sheetsShown, 1);
}

TEST_F(SettingsSheetTest, ExitWithUnsavedChangesAndCancelKeepsEverything) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    messages->answer({gui::Answer::Cancel});
    trigger("profileExit");
    ASSERT_TRUE(waitFor([&] { return !messages->boxes().empty(); }));
    QTest::qWait(20);
    EXPECT_EQ(messages->last().kind, gui::BoxKind::AskYesNoCancel);
    EXPECT_EQ(messages->last().text, QStringLiteral("Do you want to save setting to file?"));
    EXPECT_TRUE(mainFrame().isVisible());
    ASSERT_EQ(mainFrame().childFrames().size(), 1);
    EXPECT_TRUE(child->document().IsPortOpen());
    EXPECT_EQ(typed(*child, Qt::Key_C, Qt::NoModifier), "c");
    EXPECT_TRUE(dialogs->requests().empty());

    // Asked again; No leaves without writing.
    messages->answer({gui::Answer::No});
    trigger("profileExit");
    ASSERT_TRUE(waitFor([&] { return !mainFrame().isVisible(); }));
    EXPECT_EQ(messages->boxes().size(), 2u);
    EXPECT_TRUE(dialogs->requests().empty());
}

TEST_F(SettingsSheetTest, MdiKeysReachThePort) {
    halvic::CChildFrame* child = openFromMenu(kPort, 0);
    ASSERT_NE(child, nullptr);
    halvic::CChildFrame* second = openFromMenu(kOtherPort, 0);
    ASSERT_NE(second, nullptr);
    mainFrame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
    mainFrame().mdiArea()->setActiveSubWindow(child);
    child->view().setFocus();
    const auto described = [&](Qt::Key key) {
        std::string bytes;
        child->document().binding.table->GetKeyString(halvic::VirtualKeyOf(key), bytes);
        return bytes;
    };
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::string bytes; // empty: whatever the terminal makes of it
    };
    const Case cases[] = {
        {Qt::Key_W, Qt::ControlModifier, "\x17"},
        {Qt::Key_Tab, Qt::ControlModifier, "\t"},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, ""},
        {Qt::Key_F4, Qt::ControlModifier, described(Qt::Key_F4)},
        {Qt::Key_F6, Qt::ControlModifier, described(Qt::Key_F6)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string got = typed(*child, c.key, c.modifiers);
        if (!c.bytes.empty()) {
            EXPECT_EQ(got, c.bytes);
        }
        EXPECT_EQ(mainFrame().childFrames().size(), 2);
        EXPECT_EQ(mainFrame().activeChild(), child);
    }
}

TEST_F(SettingsSheetTest, PagesEnableTheirControlsAsTheChoicesAllow) {
    struct Seen {
        bool rtsWhileHardwareFlow = true;
        bool rtsOffKept = false;
        bool echoForAnsi = true;
        bool echoForDumb = false;
    } seen;
    steps.push_back([&](halvic::CSetup& sheet) {
        auto* rtsCts = in<QCheckBox>(sheet, "rtsCts");
        auto* rtsOff = in<QRadioButton>(sheet, "rtsOff");
        QTest::mouseClick(rtsOff, Qt::LeftButton);
        QTest::keyClick(rtsCts, Qt::Key_Space);
        seen.rtsWhileHardwareFlow = rtsOff->isEnabled() || in<QRadioButton>(sheet, "rtsOn")->isEnabled();
        QTest::keyClick(rtsCts, Qt::Key_Space);
        seen.rtsOffKept = rtsOff->isEnabled() && rtsOff->isChecked();
        QTest::keyClick(rtsCts, Qt::Key_Space); // on for good
        showPage(sheet, 1);
        choose(sheet, "terminalType", 0);
        seen.echoForAnsi = in<QCheckBox>(sheet, "localEcho")->isEnabled() ||
                           in<QComboBox>(sheet, "crTranslation")->isEnabled();
        choose(sheet, "terminalType", 2);
        seen.echoForDumb = in<QCheckBox>(sheet, "localEcho")->isEnabled() &&
                           in<QComboBox>(sheet, "enterKey")->isEnabled() &&
                           in<QComboBox>(sheet, "lfTranslation")->isEnabled();
        showPage(sheet, 0);
        choose(sheet, "ports", kPort - 1);
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("portOpen");
    ASSERT_EQ(sheetsShown, 1);
    EXPECT_FALSE(seen.rtsWhileHardwareFlow);
    EXPECT_TRUE(seen.rtsOffKept);
    EXPECT_FALSE(seen.echoForAnsi);
    EXPECT_TRUE(seen.echoForDumb);
    halvic::CChildFrame* child = mainFrame().activeChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->document().portSettings.flowBits, 0x3);
    EXPECT_EQ(child->document().portSettings.rts, 0);
    mainFrame().updateActions();
    EXPECT_FALSE(child->rtsButton()->isEnabled());
    EXPECT_FALSE(mainFrame().action(QStringLiteral("toggleRts"))->isEnabled());
}

TEST_F(SettingsSheetTest, FoldersDefaultToTheOptionFileFolderAndKeepTheUsersChoice) {
    const QString folder = app->OptionFileFolder();
    const QString chosen = dir.filePath(QStringLiteral("downloads"));
    QDir().mkpath(chosen);
    QString captureShown;
    steps.push_back([&](halvic::CSetup& sheet) {
        choose(sheet, "ports", kOtherPort - 1);
        showPage(sheet, 3);
        captureShown = in<QLabel>(sheet, "captureFile")->text();
        showPage(sheet, 2);
        dialogs->answer({chosen});
        QTest::mouseClick(in<QPushButton>(sheet, "browseReceiveDirectory"), Qt::LeftButton);
        showPage(sheet, 0);
        showPage(sheet, 2); // the page's default does not replace the choice
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("portOpen");
    ASSERT_EQ(sheetsShown, 1);
    EXPECT_EQ(captureShown, folder + QStringLiteral("cap9.txt"));
    halvic::CChildFrame* child = mainFrame().activeChild();
    ASSERT_NE(child, nullptr);
    const halvic::TransferSettings& t = child->document().transferSettings;
    EXPECT_EQ(QString::fromStdString(terminal::fieldText(t.receiveDirectory)), chosen + QLatin1Char('/'));
    EXPECT_EQ(QString::fromStdString(terminal::fieldText(t.captureFileName)),
              folder + QStringLiteral("cap9.txt"));
    EXPECT_EQ(t.zmodemAutoDownload, 1);

    // A capture file whose path does not fit the record is refused, not cut.
    const QString tooLong = dir.filePath(QString(300, QLatin1Char('x')));
    steps.push_back([&](halvic::CSetup& sheet) {
        showPage(sheet, 3);
        dialogs->answer({tooLong});
        QTest::mouseClick(in<QPushButton>(sheet, "browseCaptureFile"), Qt::LeftButton);
        captureShown = in<QLabel>(sheet, "captureFile")->text();
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("properties");
    EXPECT_EQ(captureShown, folder + QStringLiteral("cap9.txt"));
    EXPECT_EQ(messages->last().text, QStringLiteral("The file path is too long:\n") + tooLong);
    EXPECT_EQ(QString::fromStdString(terminal::fieldText(t.captureFileName)),
              folder + QStringLiteral("cap9.txt"));
}

TEST_F(SettingsSheetTest, EnterCodeNoListShowsSurvivesProperties) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    child->document().terminalSettings.enterCode = 3; // from an option file
    int shownPosition = 0;
    steps.push_back([&](halvic::CSetup& sheet) {
        showPage(sheet, 1);
        shownPosition = in<QComboBox>(sheet, "enterKey")->currentIndex();
        clickButton(sheet, QDialogButtonBox::Ok);
    });
    trigger("properties");
    EXPECT_EQ(shownPosition, -1);
    EXPECT_EQ(child->document().terminalSettings.enterCode, 3);
}

TEST_F(SettingsSheetTest, AcceleratorsAndHelpStayWithTheProgram) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    mainFrame().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainFrame()));
    // Ctrl+Alt+Q is Port Disable, not a byte for the port.
    QTest::keyClick(&child->view(), Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return !child->document().IsPortOpen(); }));
    mainFrame().updateActions();
    // Help opens the build tree's help page, recorded instead of shown in a browser.
    const auto launches = shell::RecordingLauncher::install();
    trigger("help");
    shell::setLauncher(nullptr);
    ASSERT_EQ(launches->launches().size(), 1u);
    EXPECT_EQ(launches->launches()[0].path, shell::installLayout().helpFile(QStringLiteral("halvic.html")));
}

TEST_F(SettingsSheetTest, PortCommandsFollowTheOpenIdleRule) {
    halvic::CChildFrame* child = openFromMenu(kPort, 2);
    ASSERT_NE(child, nullptr);
    trigger("portDisable");
    ASSERT_TRUE(waitFor([&] { return !child->document().IsPortOpen(); }));
    mainFrame().updateActions();
    for (const char* name :
         {"fileTransfer", "sendPattern", "capture", "sendBreak", "portDisable", "portClose"})
        EXPECT_FALSE(mainFrame().action(QString::fromLatin1(name))->isEnabled()) << name;
    for (const char* name : {"properties", "clearScreen", "portEnable"})
        EXPECT_TRUE(mainFrame().action(QString::fromLatin1(name))->isEnabled()) << name;
    child->view().setBusy(true);
    mainFrame().updateActions();
    EXPECT_FALSE(mainFrame().action(QStringLiteral("properties"))->isEnabled());
    EXPECT_TRUE(mainFrame().action(QStringLiteral("clearScreen"))->isEnabled());
    child->view().setBusy(false);
}

} // namespace
