// Halvic as a Linux desktop user meets it: menus by Alt+letter from a port window, new windows'
// folders in the user's home, port names as a person reads them, the font dialog's offer and the
// window sizes a font change keeps, and the settings sheet's tabs whole.
#include "halvic_fixture.h"

#include "PatternSettings.h"
#include "PortRecords.h"
#include "scripted_file_dialogs.h"
#include "SendPatternDlg.h"
#include "SettingsSheet.h"
#include "SettingsValues.h"
#include "TerminalFontDlg.h"
#include "TransferDialogs.h"
#include "TransmitPatternDlg.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <optional>

using namespace halvictest;

namespace {

// A home of the test's own: the user's folders are looked up under it.
class UserHome {
public:
    UserHome() {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* value = std::getenv(name))
                saved_.emplace_back(name, std::string(value));
            else
                saved_.emplace_back(name, std::nullopt);
        ::setenv("HOME", home.path().toLocal8Bit().constData(), 1);
        ::setenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral(".config")).toLocal8Bit().constData(), 1);
    }
    ~UserHome() {
        for (const auto& [name, value] : saved_)
            if (value)
                ::setenv(name, value->c_str(), 1);
            else
                ::unsetenv(name);
    }
    UserHome(const UserHome&) = delete;
    UserHome& operator=(const UserHome&) = delete;

    // A folder of the home; the home itself for an empty name.
    QString path(const char* name) const {
        return *name ? home.filePath(QString::fromLatin1(name)) : home.path();
    }

    QTemporaryDir home;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

class DesktopTest : public HalvicTest {
protected:
    void SetUp() override {
        HalvicTest::SetUp();
        dialogs = gui::ScriptedFileDialogs::install();
    }

    QAction* action(const char* name) { return mainFrame().action(QString::fromLatin1(name)); }

    // What the far end got within a short time.
    std::string onTheLine() { return takeFrom(pty.master(), 1, 300); }

    std::shared_ptr<gui::ScriptedFileDialogs> dialogs;
};

// ---- Alt+letter opens the menus from a focused port window ----

struct MenuKeyRow {
    const char* name;
    Qt::Key menu;
    Qt::Key item;
    const char* command;
};

void PrintTo(const MenuKeyRow& row, std::ostream* os) {
    *os << row.name;
}

class MenuKeys : public DesktopTest, public testing::WithParamInterface<MenuKeyRow> {};

TEST_P(MenuKeys, AltLetterOpensTheMenuAndItsMnemonicRunsTheCommand) {
    const MenuKeyRow& row = GetParam();
    const QString capture = dir.filePath(QStringLiteral("cap5.txt"));
    app->setSettingsSheet([&](halvic::CHalvicDoc& doc, bool) {
        doc.portSettings = wantedPort;
        doc.terminalSettings = wantedTerminal;
        terminal::setFieldText(doc.transferSettings.captureFileName, capture.toStdString());
        return true;
    });
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(child->document().IsPortOpen());
    QWidget* view = &child->view();
    QApplication::setActiveWindow(&mainFrame());
    view->setFocus();
    ASSERT_TRUE(waitFor([&] { return view->hasFocus(); }));
    QSignalSpy ran(action(row.command), &QAction::triggered);

    QTest::keyClick(view, row.menu, Qt::AltModifier);
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
    EXPECT_TRUE(menu->actions().contains(action(row.command)));
    QTest::keyClick(menu, row.item);
    ASSERT_TRUE(waitFor([&] { return ran.count() == 1; }));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    // The letters went to the menus, not to the far end.
    EXPECT_EQ(onTheLine(), "");
    if (std::string_view(row.command) == "capture") {
        EXPECT_TRUE(child->view().capturing());
        EXPECT_TRUE(QFileInfo::exists(capture));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Menus, MenuKeys,
    testing::Values(MenuKeyRow{"PortManager_Capture", Qt::Key_M, Qt::Key_U, "capture"},
                    MenuKeyRow{"PortManager_ClearScreen", Qt::Key_M, Qt::Key_S, "clearScreen"},
                    MenuKeyRow{"PortManager_PortDisable", Qt::Key_M, Qt::Key_D, "portDisable"},
                    MenuKeyRow{"Profile_SaveAs", Qt::Key_P, Qt::Key_A, "profileSaveAs"},
                    MenuKeyRow{"Window_Cascade", Qt::Key_W, Qt::Key_C, "cascade"}),
    [](const testing::TestParamInfo<MenuKeyRow>& info) { return std::string(info.param.name); });

struct F10Row {
    const char* name;
    int terminalType;
    const char* sent;
    bool menuOpens;
};

void PrintTo(const F10Row& row, std::ostream* os) {
    *os << row.name;
}

class F10Key : public DesktopTest, public testing::WithParamInterface<F10Row> {};

TEST_P(F10Key, SendsTheDescriptionsStringOrElseOpensTheMenus) {
    const F10Row& row = GetParam();
    wantedTerminal.terminalType = row.terminalType;
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    QWidget* view = &child->view();
    QApplication::setActiveWindow(&mainFrame());
    view->setFocus();
    ASSERT_TRUE(waitFor([&] { return view->hasFocus(); }));
    QTest::keyClick(view, Qt::Key_F10);
    EXPECT_EQ(onTheLine(), row.sent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    EXPECT_EQ(menu != nullptr, row.menuOpens);
    if (menu) {
        EXPECT_EQ(menu->title(), QStringLiteral("&Profile"));
        QTest::keyClick(menu, Qt::Key_Escape);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, F10Key,
                         testing::Values(F10Row{"Ansi_SendsKeyF10", 0, "\x1b[V", false},
                                         F10Row{"Dumb_OpensTheMenus", 2, "", true}),
                         [](const testing::TestParamInfo<F10Row>& info) {
                             return std::string(info.param.name);
                         });

// ---- New windows' folders are the user's ----

struct FolderRow {
    const char* name;
    bool userFoldersExist;
    const char* downloads; // expected, under the home
    const char* documents;
};

void PrintTo(const FolderRow& row, std::ostream* os) {
    *os << row.name;
}

class UserFolders : public DesktopTest, public testing::WithParamInterface<FolderRow> {
protected:
    void SetUp() override {
        if (GetParam().userFoldersExist) {
            QDir(user.home.path()).mkpath(QStringLiteral("Downloads"));
            QDir(user.home.path()).mkpath(QStringLiteral("Documents"));
        }
        DesktopTest::SetUp();
        app->setSettingsSheet(halvic::RunSetupSheet);
        halvic::programPageValues() = {};
    }

    UserHome user; // before the program reads any folder
};

TEST_P(UserFolders, ANewWindowReceivesAndCapturesUnderTheHome) {
    const FolderRow& row = GetParam();
    const QString downloads = user.path(row.downloads) + QLatin1Char('/');
    const QString documents = user.path(row.documents) + QLatin1Char('/');
    // The user opens COM5 from the sheet, never looking at its folder pages.
    bool sheetSeen = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<halvic::CSetup*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        sheetSeen = true;
        auto* ports = sheet->findChild<QComboBox*>(QStringLiteral("ports"));
        ports->setCurrentIndex(kPort - 1);
        emit ports->activated(kPort - 1);
        QTest::mouseClick(sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    action("portOpen")->trigger();
    ASSERT_TRUE(sheetSeen);
    halvic::CChildFrame* child = mainFrame().activeChild();
    ASSERT_NE(child, nullptr);
    const halvic::TransferSettings& t = child->document().transferSettings;
    const QString receive = QString::fromStdString(terminal::fieldText(t.receiveDirectory));
    const QString capture = QString::fromStdString(terminal::fieldText(t.captureFileName));
    EXPECT_EQ(receive, downloads);
    EXPECT_EQ(capture, documents + QStringLiteral("cap5.txt"));
    EXPECT_TRUE(QFileInfo(receive).isDir() && QFileInfo(receive).isWritable());

    // The capture really lands there.
    action("capture")->trigger();
    EXPECT_TRUE(child->view().capturing());
    EXPECT_TRUE(QFileInfo::exists(capture));
    action("capture")->trigger();

    // Save Profile starts in the Documents folder.
    action("profileSave")->trigger();
    ASSERT_FALSE(dialogs->requests().empty());
    EXPECT_EQ(dialogs->requests().back().start, documents + QStringLiteral("halvic.hlv"));
}

INSTANTIATE_TEST_SUITE_P(
    Homes, UserFolders,
    testing::Values(FolderRow{"WithDownloadsAndDocuments", true, "Downloads", "Documents"},
                    FolderRow{"WithoutThemTheHomeItself", false, "", ""}),
    [](const testing::TestParamInfo<FolderRow>& info) { return std::string(info.param.name); });

// ---- COM10 and above read as a person writes them ----

class HighPortNames : public DesktopTest {
protected:
    static constexpr int kHigh = 12;
    static constexpr int kMissing = 13;
    void SetUp() override {
        DesktopTest::SetUp();
        const std::string map = dir.filePath(QStringLiteral("ports.conf")).toStdString();
        std::ofstream(map, std::ios::app)
            << "COM" << kHigh << "=" << pty.slavePath() << "\nCOM" << kMissing << "="
            << dir.filePath(QStringLiteral("gone")).toStdString() << "\n";
        halvic::SetPort(wantedPort, kHigh);
    }
};

TEST_F(HighPortNames, Com12IsShownAsCom12AndStoredAsTheRecordHasIt) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(child->document().IsPortOpen());
    EXPECT_EQ(terminal::fieldText(child->document().portSettings.portName), "\\\\.\\COM12");

    // A second window on the port.
    sheetAccepts = sheetRuns + 1;
    EXPECT_EQ(mainFrame().OnNewPortWindow(), nullptr);
    ASSERT_FALSE(messages->boxes().empty());
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM12"));
    EXPECT_EQ(messages->last().text, QStringLiteral("Port COM12 has been opened !"));

    // The receive dialog's "Port :" row, and the caption of its end.
    child->view().setFocus();
    dialogs->answer({dir.filePath(QStringLiteral("in.bin"))});
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        for (int id : {1023 + 4, 1031}) { // XMODEM-CRC, receive
            auto* radio = dialog->findChild<QRadioButton*>(QStringLiteral("radio%1").arg(id));
            ASSERT_NE(radio, nullptr);
            radio->setChecked(true);
        }
        for (auto* b : dialog->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("OK"))
                QTest::mouseClick(b, Qt::LeftButton);
        chosen = true;
    });
    action("fileTransfer")->trigger();
    ASSERT_TRUE(chosen);
    halvic::TransferProgressDlg* progress = child->view().transferDialog();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->field(QStringLiteral("port")), QStringLiteral("COM12"));
    const size_t before = messages->boxes().size();
    QTest::mouseClick(progress->button(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return messages->boxes().size() > before; }, 15000));
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM12"));
    ASSERT_TRUE(waitFor([&] { return !child->view().IsBusy(); }));

    // The Transmit Pattern dialog's "Port:" row.
    halvic::resetPatternSettings();
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<halvic::CSendPatternDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        QTest::keyClicks(dlg->findChild<QLineEdit*>(QStringLiteral("1038")), QStringLiteral("41"));
        auto* end = dlg->findChild<QLineEdit*>(QStringLiteral("1039"));
        end->setFocus();
        QTest::keyClicks(end, QStringLiteral("42"));
        QTest::mouseClick(dlg->findChild<QAbstractButton*>(QStringLiteral("startSend")), Qt::LeftButton);
    });
    action("sendPattern")->trigger();
    halvic::CTransmitPatternDlg* sending = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (sending = child->window()->findChild<halvic::CTransmitPatternDlg*>()); }));
    EXPECT_EQ(sending->findChild<QLabel*>(QStringLiteral("1047"))->text(), QStringLiteral("COM12"));
    sending->close();
    EXPECT_TRUE(waitFor([&] { return !child->view().IsBusy(); }));
}

TEST_F(HighPortNames, AnOpenErrorOfCom13IsCaptionedCom13) {
    halvic::SetPort(wantedPort, kMissing);
    EXPECT_EQ(openWindow(), nullptr);
    ASSERT_FALSE(messages->boxes().empty());
    EXPECT_EQ(messages->last().caption, QStringLiteral("COM13"));
}

// ---- The font dialog and what a font change does to the windows ----

TEST_F(DesktopTest, FontDialogOffersFixedPitchFamiliesFromEightToFourteenPointsOnly) {
    openWindow();
    QStringList families, sizes;
    QStringList labels;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<halvic::CTerminalFontDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        auto* familyList = dialog->findChild<QListWidget*>(QStringLiteral("fontFamilies"));
        auto* sizeList = dialog->findChild<QListWidget*>(QStringLiteral("fontSizes"));
        for (int i = 0; i < familyList->count(); ++i)
            families << familyList->item(i)->text();
        for (int i = 0; i < sizeList->count(); ++i)
            sizes << sizeList->item(i)->text();
        for (QLabel* label : dialog->findChildren<QLabel*>())
            if (label->isVisible())
                labels << label->text();
        dialog->reject();
    });
    action("setFont")->trigger();
    ASSERT_TRUE(seen);
    ASSERT_FALSE(families.isEmpty());
    for (const QString& family : families)
        EXPECT_TRUE(QFontDatabase::isFixedPitch(family)) << family.toStdString();
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isFixedPitch(family)) {
            EXPECT_FALSE(families.contains(family)) << family.toStdString();
        }
    }
    EXPECT_EQ(sizes, (QStringList{"8", "9", "10", "11", "12", "13", "14"}));
    for (const QString& text : labels) {
        EXPECT_FALSE(text.contains(QStringLiteral("Writing System"))) << text.toStdString();
        EXPECT_FALSE(text.contains(QStringLiteral("Effects"))) << text.toStdString();
    }
}

// Edit > Font..., the size chosen by a click and OK.
void chooseFontSize(halvic::CMainFrame& main, int points) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<halvic::CTerminalFontDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        auto* sizes = dialog->findChild<QListWidget*>(QStringLiteral("fontSizes"));
        const QList<QListWidgetItem*> items = sizes->findItems(QString::number(points), Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        const QRect r = sizes->visualItemRect(items.first());
        QTest::mouseClick(sizes->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    main.action(QStringLiteral("setFont"))->trigger();
    EXPECT_TRUE(seen);
}

TEST_F(DesktopTest, AFontChangeKeepsAShrunkenWindowAndClipsOnlyWhatNoLongerFits) {
    mainFrame().resize(1600, 1200);
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    const QSize full = child->size();
    ASSERT_GT(full.width(), 300);
    const QSize shrunk(full.width() - 120, full.height() - 80);
    child->resize(shrunk);
    ASSERT_EQ(child->size(), shrunk);

    chooseFontSize(mainFrame(), 14); // a larger terminal
    EXPECT_EQ(child->size(), shrunk);
    ASSERT_GT(child->maximumWidth(), full.width());

    // The user makes it as large as the 14-point terminal; 8 points no longer fill that.
    child->resize(child->maximumSize());
    const QSize large = child->size();
    chooseFontSize(mainFrame(), 8);
    EXPECT_EQ(child->size(), child->maximumSize());
    EXPECT_LT(child->width(), large.width());
    EXPECT_EQ(child->size(), full);
}

TEST_F(DesktopTest, AResizeByTheUserEndsTheWindowsOwnMaximise) {
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    child->showMaximized();
    ASSERT_TRUE(waitFor([&] { return child->ownMaximised(); }));
    const QSize maximised = child->size();
    child->resize(maximised - QSize(60, 40));
    EXPECT_FALSE(child->ownMaximised());
    // Since it is no longer maximised, a font change leaves it where the user put it.
    chooseFontSize(mainFrame(), 9);
    EXPECT_EQ(child->size(), maximised - QSize(60, 40));
}

// ---- The settings sheet shows every tab whole ----

TEST_F(DesktopTest, TheSettingsSheetShowsItsFourTabsWhole) {
    app->setSettingsSheet(halvic::RunSetupSheet);
    halvic::programPageValues() = {};
    QStringList cut;
    int tabs = 0;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<halvic::CSetup*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        seen = true;
        QTabBar* bar = sheet->findChild<QTabWidget*>()->tabBar();
        tabs = bar->count();
        for (int i = 0; i < bar->count(); ++i) {
            const QRect r = bar->tabRect(i);
            if (!bar->rect().contains(r) || r.width() < bar->fontMetrics().horizontalAdvance(bar->tabText(i)))
                cut << bar->tabText(i);
        }
        for (QToolButton* scroll : bar->findChildren<QToolButton*>())
            if (scroll->isVisible())
                cut << QStringLiteral("scroll button");
        for (int page = 0; page < tabs; ++page) {
            sheet->findChild<QTabWidget*>()->setCurrentIndex(page);
            for (QLabel* label : sheet->findChild<QTabWidget*>()->widget(page)->findChildren<QLabel*>())
                if (label->isVisible() && !label->text().isEmpty() &&
                    label->width() < label->minimumSizeHint().width())
                    cut << label->text();
        }
        sheet->reject();
    });
    action("portOpen")->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(tabs, 4);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QStringLiteral(", ")).toStdString();
}

// ---- Command prompts: status text and tooltip ----

struct PromptRow {
    const char* command;
    const char* status;
    const char* tip;
};

void PrintTo(const PromptRow& row, std::ostream* os) {
    *os << row.command;
}

class CommandPrompts : public DesktopTest, public testing::WithParamInterface<PromptRow> {};

TEST_P(CommandPrompts, TheCommandsStatusTextAndTooltipAreItsPrompt) {
    const PromptRow& row = GetParam();
    halvic::CChildFrame* child = openWindow();
    ASSERT_NE(child, nullptr);
    child->SetStatusPane(QStringLiteral("Got Break Signal"));
    QAction* command = action(row.command);
    EXPECT_EQ(command->statusTip(), QString::fromLatin1(row.status));
    EXPECT_EQ(command->toolTip(), QString::fromLatin1(row.tip));
    auto* bar = mainFrame().findChild<QToolBar*>(QStringLiteral("mainToolBar"));
    ASSERT_NE(bar->widgetForAction(command), nullptr);
    EXPECT_EQ(bar->widgetForAction(command)->toolTip(), QString::fromLatin1(row.tip));

    // Pointing at the command in its menu shows the status text in the port window's status line;
    // closing the menu puts the notice back.
    QApplication::setActiveWindow(&mainFrame());
    child->view().setFocus();
    QTest::keyClick(&child->view(), Qt::Key_M, Qt::AltModifier);
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
    QTest::mouseMove(menu, menu->actionGeometry(command).center());
    EXPECT_TRUE(waitFor([&] { return child->statusPaneText() == QString::fromLatin1(row.status); }));
    QTest::keyClick(menu, Qt::Key_Escape);
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return child->statusPaneText() == QStringLiteral("Got Break Signal"); }));
}

INSTANTIATE_TEST_SUITE_P(Prompts, CommandPrompts,
                         testing::Values(PromptRow{"sendPattern", "Send special pattern", "Send pattern"}),
                         [](const testing::TestParamInfo<PromptRow>& info) {
                             return std::string(info.param.command);
                         });

} // namespace
