// The main window routes the library's notices to the window of their port, keeps the terminal font
// among the settings and waits for readers before it closes; a port window keeps to its terminal's size.
#include "halvic_fixture.h"
#include "TerminalFont.h"
#include "TerminalFontDlg.h"
#include "test_application.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGroupBox>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTimer>
#include <QToolBar>

using namespace halvictest;

namespace {

class FramesTest : public HalvicTest {};

TEST_F(FramesTest, BreakNoticeReachesOnlyItsOwnOpenWindow) {
    halvic::CChildFrame* five = openWindow();
    halvic::SetPort(wantedPort, kOtherPort);
    halvic::CChildFrame* nine = openWindow();
    ASSERT_TRUE(five && nine);
    QElapsedTimer clock;
    clock.start();
    emit app->portBreak(kOtherPort);
    ASSERT_TRUE(waitFor([&] { return nine->statusPaneText() == QStringLiteral("Got Break Signal"); }, 1000));
    EXPECT_GE(clock.elapsed(), 150);
    EXPECT_EQ(five->statusPaneText(), QString());

    // A window whose port has been closed shows nothing.
    five->portButton()->trigger();
    ASSERT_TRUE(waitFor([&] { return !five->document().IsPortOpen(); }));
    emit app->portBreak(kPort);
    QTest::qWait(350);
    EXPECT_EQ(five->statusPaneText(), QString());
}

TEST_F(FramesTest, LineStatusNoticeUpdatesTheWindowOfThatPort) {
    halvic::CChildFrame* five = openWindow();
    ASSERT_NE(five, nullptr);
    emit app->portStatusChanged(kPort);
    // A pty reports CTS and DSR on.
    EXPECT_EQ(five->lineIndicators(), SerialLineCts | SerialLineDsr);
}

TEST_F(FramesTest, TitleNamesTheLineSettingsAndTerminal) {
    wantedPort.flowBits = SerialFlowXonXoff;
    wantedPort.baudIndex = wantedPort.baudCode = 16;
    wantedTerminal.terminalType = 1;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowTitle(), QStringLiteral("COM5,115200,None,8,1,XON/XOFF,VT100"));
}

TEST_F(FramesTest, WindowIsNoLargerThanItsTerminal) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    child->resize(2000, 2000);
    QCoreApplication::processEvents();
    halvic::CHalvicView& view = child->view();
    const QSize terminal = view.terminalPixelSize();
    EXPECT_EQ(child->terminalSize(), terminal);
    EXPECT_LE(view.viewport()->width(), terminal.width() + view.cellSize().width());
    EXPECT_LE(view.viewport()->height(), terminal.height() + view.cellSize().height());
    EXPECT_GE(view.viewport()->height(), terminal.height() - view.cellSize().height());
}

TEST_F(FramesTest, ExitWaitsForTheReadersWithoutHoldingTheGuiThread) {
    openWindow();
    halvic::SetPort(wantedPort, kOtherPort);
    openWindow();
    ASSERT_EQ(mainFrame().childFrames().size(), 2);
    QElapsedTimer clock;
    clock.start();
    mainFrame().close();
    EXPECT_LT(clock.elapsed(), 150);
    ASSERT_TRUE(waitFor([&] { return mainFrame().childFrames().isEmpty() && !mainFrame().isVisible(); }));
    EXPECT_EQ(app->openPortCount(), 0);
}

TEST_F(FramesTest, CloseAllClosesEveryWindowOnceItsReaderStopped) {
    openWindow();
    wantedPort.baudCode = 25; // this one's port never opens
    halvic::SetPort(wantedPort, kOtherPort);
    openWindow();
    ASSERT_EQ(mainFrame().childFrames().size(), 2);
    EXPECT_EQ(app->openPortCount(), 2);
    mainFrame().OnCloseAll();
    ASSERT_TRUE(waitFor([&] { return app->openPortCount() == 0 && app->documents().isEmpty(); }));
    EXPECT_TRUE(mainFrame().childFrames().isEmpty());
    EXPECT_EQ(SerialOpen(kSameDevice), 0);
}

TEST_F(FramesTest, NewFontReachesEveryView) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    const QSize before = child->view().cellSize();
    halvic::TerminalFont bigger = mainFrame().GetTerminalFont();
    bigger.lfHeight = 2 * bigger.lfHeight;
    mainFrame().setTerminalFont(bigger);
    EXPECT_GT(child->view().cellSize().height(), before.height());
    EXPECT_EQ(child->terminalSize(), child->view().terminalPixelSize());
}

TEST_F(FramesTest, TilingPlacesWindowsSideBySideOrOneAboveAnother) {
    halvic::CChildFrame* five = openWindow();
    halvic::SetPort(wantedPort, kOtherPort);
    halvic::CChildFrame* nine = openWindow();
    ASSERT_TRUE(five && nine);
    mainFrame().action(QStringLiteral("tileVertically"))->trigger();
    EXPECT_EQ(five->y(), nine->y());
    EXPECT_NE(five->x(), nine->x());
    mainFrame().action(QStringLiteral("tileHorizontally"))->trigger();
    EXPECT_EQ(five->x(), nine->x());
    EXPECT_NE(five->y(), nine->y());
    EXPECT_FALSE(five->geometry().intersects(nine->geometry()));
}

TEST_F(FramesTest, MaximiseFillsTheAreaWithinTheLimitsAndGoesBack) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    child->resize(child->width() / 2, child->height() / 2);
    child->move(30, 20);
    const QRect normal = child->geometry();
    child->showMaximized();
    ASSERT_TRUE(waitFor([&] { return child->ownMaximised(); }));
    EXPECT_FALSE(child->isMaximized());
    EXPECT_EQ(child->geometry(), QRect(QPoint(0, 0), child->maximumSize()));
    EXPECT_TRUE(child->portToolBar()->isVisible());
    child->showMaximized();
    ASSERT_TRUE(waitFor([&] { return !child->ownMaximised(); }));
    EXPECT_EQ(child->geometry(), normal);
}

TEST_F(FramesTest, WindowLimitsFollowTheMainWindow) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    const int wide = child->maximumWidth();
    mainFrame().resize(wide / 2, mainFrame().height());
    ASSERT_TRUE(waitFor([&] { return child->maximumWidth() < wide; }));
    EXPECT_LE(child->width(), mainFrame().mdiArea()->viewport()->width());
}

TEST_F(FramesTest, MenusFollowWhetherAPortWindowExists) {
    const auto shownMenus = [&] {
        QStringList titles;
        for (QAction* a : mainFrame().menuBar()->actions()) {
            if (!a->isVisible() || !a->menu())
                continue;
            const QList<QAction*> items = a->menu()->actions();
            const auto commands =
                std::count_if(items.begin(), items.end(), [](QAction* i) { return !i->isSeparator(); });
            titles << a->text() + QLatin1Char(':') + QString::number(commands);
        }
        return titles.join(QLatin1Char(' ')).toStdString();
    };
    EXPECT_EQ(shownMenus(), "&Profile:2 Port &Manager:1 &Help:2");
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(shownMenus(), "&Profile:4 &Edit:2 Port &Manager:12 &Window:4 &Help:2");
    child->close();
    ASSERT_TRUE(waitFor([&] { return shownMenus() == "&Profile:2 Port &Manager:1 &Help:2"; }));
}

TEST_F(FramesTest, ToolBarEntriesAreNamedToolBar) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->systemMenu()->actions().contains(child->toolBarToggle()));
    EXPECT_EQ(child->toolBarToggle()->text(), QStringLiteral("ToolBar"));
    EXPECT_EQ(mainFrame().action(QStringLiteral("toolBar"))->text(), QStringLiteral("ToolBar"));
    child->toolBarToggle()->trigger();
    EXPECT_FALSE(child->portToolBar()->isVisible());
    EXPECT_FALSE(child->toolBarToggle()->isChecked());
}

TEST_F(FramesTest, FontDialogOffersFixedPitchWithoutEffects) {
    QStringList families;
    bool effectsShown = true;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(qobject_cast<halvic::CTerminalFontDlg*>(QApplication::activeModalWidget()));
        auto* dialog = qobject_cast<halvic::CTerminalFontDlg*>(QApplication::activeModalWidget());
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("fontFamilies"));
        for (int i = 0; i < list->count(); ++i)
            families << list->item(i)->text();
        effectsShown = false;
        for (QGroupBox* group : dialog->findChildren<QGroupBox*>())
            effectsShown |= group->title().contains(QStringLiteral("Effects")) && group->isVisible();
        for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
            effectsShown |= box->isVisible();
        dialog->reject();
    });
    mainFrame().action(QStringLiteral("setFont"))->trigger();
    EXPECT_FALSE(families.isEmpty());
    for (const QString& family : families)
        EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << family.toStdString();
    EXPECT_FALSE(effectsShown);
}

TEST(TerminalFontSettings, DefaultsAreAnEightPointCourierAndSurviveARoundTrip) {
    gui::testApplication();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    EXPECT_EQ(halvic::TerminalFont::defaultHeight(96), -11);
    EXPECT_EQ(halvic::TerminalFont::defaultHeight(120), -13);
    const halvic::TerminalFont defaults = halvic::TerminalFont::load();
    EXPECT_EQ(defaults.lfFaceName, QStringLiteral("Courier New"));
    EXPECT_EQ(defaults.lfWeight, 400);
    EXPECT_EQ(defaults.lfPitchAndFamily, 49);
    EXPECT_TRUE(defaults.toQFont().fixedPitch());

    halvic::TerminalFont chosen = defaults;
    chosen.lfHeight = -14;
    chosen.lfFaceName = QStringLiteral("DejaVu Sans Mono");
    chosen.save();
    EXPECT_EQ(halvic::TerminalFont::load(), chosen);
    QSettings raw(QStringLiteral("Brel"), QStringLiteral("Halvic"));
    EXPECT_EQ(raw.value(QStringLiteral("2.0/lfHeight")).toInt(), -14);
}

TEST(PortTable, SettingsChangedFollowsTheOpenPorts) {
    gui::testApplication();
    halvic::CHalvicApp app(QStringLiteral("/tmp"));
    EXPECT_FALSE(app.SettingsChanged());
    app.MarkPortInUse(3);
    EXPECT_TRUE(app.SettingsChanged()); // a window the option file does not hold
    app.markSaved();
    EXPECT_FALSE(app.SettingsChanged());
    app.MarkPortInUse(4);
    app.ReleasePort(4);
    EXPECT_FALSE(app.SettingsChanged());
    app.ReleasePort(3);
    EXPECT_FALSE(app.SettingsChanged());
}

TEST_F(FramesTest, ScreenshotOfAPortWindowWithAttributedText) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    halvic::CHalvicDoc& doc = child->document();
    std::string text;
    for (int i = 1; i <= 26; ++i)
        text += "history line " + std::to_string(i) + "\r\n";
    text += "\x1b[2J\x1b[H";
    text += "Plain text, \x1b[7mreverse video\x1b[0m, \x1b[4munderlined\x1b[0m and \x1b[4;7mboth\x1b[0m.\r\n";
    text += "\x1b[3;10H\xC9\xCD\xCD\xCD\xCD\xCD\xCD\xBB\x1b[4;10H\xBA Box! "
            "\xBA\x1b[5;10H\xC8\xCD\xCD\xCD\xCD\xCD\xCD\xBC";
    text += "\x1b[7;1H\x1b[7m Status: connected \x1b[0m  \x1b[4m9600 8N1\x1b[0m\r\n";
    text += "\x1b[24;1HLast row\x1b[8;1H$ ";
    putTo(pty.master(), text);
    ASSERT_TRUE(waitFor([&] { return rowText(doc, 7) == "$"; }));
    QCoreApplication::processEvents();
    mainFrame().resize(QSize(child->width() + 40, child->height() + 120));
    QCoreApplication::processEvents();
    EXPECT_TRUE(gui::saveScreenshot(*child, QStringLiteral("halvic_port_window")));
}

} // namespace
