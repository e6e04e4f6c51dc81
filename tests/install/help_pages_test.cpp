// Help in each program opens its own help page in the desktop's browser, the configurator starts the
// Halvic beside it, and About names the version. The
// pages are looked for where the programs look: below the build tree, or below an install prefix when
// BREL_HELP_ROOT names one (the install test runs this program again on its prefix).
#include "configurator_app.h"
#include "form_controls.h"
#include "HalvicApp.h"
#include "install_layout.h"
#include "MainFrame.h"
#include "Mainsetup.h"
#include "program_version.h"
#include "recording_launcher.h"
#include "scripted_messenger.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace {

QString installRoot() {
    const QString root = qEnvironmentVariable("BREL_HELP_ROOT");
    return root.isEmpty() ? qEnvironmentVariable("BREL_BUILD_DIR") : root;
}

struct HelpCase {
    const char* name;
    const char* page;  // the file Help opens
    const char* title; // the page's own title
    // Builds the program's window, triggers its Help menu item and takes the window down again.
    std::function<void()> triggerHelp;
};

void halvicHelp() {
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    halvic::CHalvicApp app(QCoreApplication::applicationDirPath());
    halvic::CMainFrame frame(app);
    frame.show();
    frame.action(QStringLiteral("help"))->trigger();
}

void configuratorHelp() {
    CreateConfiguratorWindows();
    Fmainset->show();
    MainsetControls(Fmainset).Help->trigger();
    DestroyConfiguratorWindows();
}

class HelpPage : public testing::TestWithParam<HelpCase> {
protected:
    void SetUp() override {
        gui::testApplication();
        ASSERT_FALSE(installRoot().isEmpty());
        shell::setInstallLayout(shell::InstallLayout(installRoot() + QStringLiteral("/bin")));
        launches = shell::RecordingLauncher::install();
        boxes = gui::ScriptedMessenger::install();
    }
    void TearDown() override { shell::setInstallLayout(std::nullopt); }

    std::shared_ptr<shell::RecordingLauncher> launches;
    std::shared_ptr<gui::ScriptedMessenger> boxes;
};

TEST_P(HelpPage, HelpOpensTheProgramsOwnPageInTheBrowser) {
    const HelpCase& c = GetParam();
    c.triggerHelp();
    EXPECT_TRUE(boxes->boxes().empty()) << boxes->last().text.toStdString();
    const auto made = launches->launches();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].kind, shell::LaunchKind::Document);
    const QString expected =
        installRoot() + QStringLiteral("/share/doc/vantro/") + QString::fromLatin1(c.page);
    EXPECT_EQ(QFileInfo(made[0].path).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());
    QFile page(made[0].path);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << made[0].path.toStdString();
    const QByteArray html = page.readAll();
    EXPECT_TRUE(html.contains(QByteArray("<title>") + c.title + "</title>"));
    // The page stands alone: every link is to a part of itself or to nothing outside.
    EXPECT_FALSE(html.contains("href=\"http")) << c.page;
}

INSTANTIATE_TEST_SUITE_P(Programs, HelpPage,
                         testing::Values(HelpCase{"Halvic", "halvic.html", "Halvic Help", halvicHelp},
                                         HelpCase{"Configurator", "vantro-configurator.html",
                                                  "Vantro Configurator Help", configuratorHelp}),
                         [](const testing::TestParamInfo<HelpCase>& i) { return std::string(i.param.name); });

// The configurator's Terminal Emulator menu starts the Halvic beside it, with no message.
TEST_F(HelpPage, TerminalEmulatorStartsTheHalvicOfTheSameTree) {
    CreateConfiguratorWindows();
    Fmainset->show();
    MainsetControls(Fmainset).Zerip1->trigger();
    DestroyConfiguratorWindows();
    EXPECT_TRUE(boxes->boxes().empty()) << boxes->last().text.toStdString();
    const auto made = launches->launches();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].kind, shell::LaunchKind::Program);
    EXPECT_EQ(made[0].path, installRoot() + QStringLiteral("/bin/halvic"));
    EXPECT_TRUE(QFileInfo(made[0].path).isExecutable());
}

// Halvic's About names the build's version, as --version does.
TEST(HalvicAbout, ShowsTheBuildsVersion) {
    gui::testApplication();
    const auto boxes = gui::ScriptedMessenger::install();
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    halvic::CHalvicApp app(QCoreApplication::applicationDirPath());
    halvic::CMainFrame frame(app);
    frame.show();
    frame.action(QStringLiteral("about"))->trigger();
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_TRUE(boxes->last().text.endsWith(QLatin1Char('\n') + shell::programVersion()))
        << boxes->last().text.toStdString();
    EXPECT_FALSE(boxes->last().text.contains(QStringLiteral("Version")));
}

} // namespace
