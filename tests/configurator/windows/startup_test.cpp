// The configurator's start and end: the window set, and which closes end the program.
#include "window_fixture.h"

#include <QGuiApplication>
#include <QTimer>

#include <stdexcept>

#include <functional>

namespace {

struct LoopRun {
    bool timedOut = false;
    int result = -1;
};

// Runs the configurator; each step runs from the event loop in turn, and a watchdog ends a loop
// that should have ended by itself.
LoopRun runWith(std::vector<std::function<void()>> steps) {
    QApplication& app = windowTestApplication();
    gui::ScriptedMessenger::install();
    LoopRun run;
    int delay = 0;
    for (auto& step : steps)
        QTimer::singleShot(delay++, &app, std::move(step));
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &app, [&] {
        run.timedOut = true;
        QCoreApplication::quit();
    });
    watchdog.start(5000);
    run.result = runConfigurator(app);
    return run;
}

TEST(Startup, OnlyTheWizardShowsAndClosingItEnds) {
    bool wizardShown = false, othersHidden = false, globalsSet = false;
    const LoopRun run = runWith({[&] {
        globalsSet = Fwizard && Fmainset && Fconnect && Frf_monitor;
        wizardShown = Fwizard->isVisible();
        othersHidden = !Fmainset->isVisible() && !Fconnect->isVisible() && !Frf_monitor->isVisible();
        EXPECT_EQ(Fwizard->windowTitle(), "Vantro Configurator");
        EXPECT_EQ(Fmainset->windowTitle(), "Vantro Configurator");
        EXPECT_EQ(Fconnect->windowTitle(), "Connect Setup");
        EXPECT_EQ(Frf_monitor->windowTitle(), "Monitor Signal Strength");
        // No display name to be appended to every caption on X11.
        EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        Fwizard->close();
    }});
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(globalsSet);
    EXPECT_TRUE(wizardShown);
    EXPECT_TRUE(othersHidden);
    EXPECT_EQ(Fwizard, nullptr);
    EXPECT_EQ(Fmainset, nullptr);
}

TEST(Startup, ClosingTheMainSettingsWindowEndsWithoutTheWizard) {
    bool wizardCameBack = false;
    const LoopRun run = runWith({[] {
                                     Fwizard->hide();
                                     Fmainset->show();
                                 },
                                 [&] {
                                     Fmainset->close();
                                     wizardCameBack = Fwizard && Fwizard->isVisible();
                                 }});
    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(wizardCameBack);
}

TEST(Startup, FileExitEnds) {
    const LoopRun run = runWith({[] {
        Fwizard->hide();
        Fmainset->show();
        Fmainset->findChild<QAction*>("Exit2")->trigger();
    }});
    EXPECT_FALSE(run.timedOut);
}

// The other windows are only hidden or closed; the program goes on, and they keep their state.
TEST(Startup, OtherWindowsCloseWithoutEnding) {
    bool stillRunning = false;
    int portIndex = -1;
    bool thirtySeconds = false;
    const LoopRun run = runWith({[] {
                                     Fconnect->show();
                                     Fconnect->findChild<QComboBox*>("ComboBox1")->setCurrentIndex(3);
                                     Frf_monitor->show();
                                     Frf_monitor->findChild<QRadioButton*>("ThirtySec")->setChecked(true);
                                 },
                                 [] {
                                     Fconnect->close();
                                     Frf_monitor->close();
                                     Fmainset->show();
                                     Fmainset->hide();
                                 },
                                 [&] {
                                     stillRunning = true;
                                     Fconnect->show();
                                     portIndex = Fconnect->findChild<QComboBox*>("ComboBox1")->currentIndex();
                                     thirtySeconds =
                                         Frf_monitor->findChild<QRadioButton*>("ThirtySec")->isChecked();
                                     Fwizard->close();
                                 }});
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(portIndex, 3);
    EXPECT_TRUE(thirtySeconds);
}

} // namespace

namespace {

TEST(Startup, EscapedExceptionsAreShown) {
    windowTestApplication();
    auto boxes = gui::ScriptedMessenger::install();
    EXPECT_TRUE(RunShowingExceptions([] { return true; }));
    EXPECT_TRUE(boxes->boxes().empty());
    EXPECT_FALSE(RunShowingExceptions([]() -> bool { throw std::runtime_error("Port table damaged"); }));
    EXPECT_FALSE(RunShowingExceptions([]() -> bool { throw 42; }));
    const auto b = boxes->boxes();
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].caption, "Vantro Configurator");
    EXPECT_EQ(b[0].text, "Port table damaged");
    EXPECT_TRUE(b[1].text.isEmpty());
}

} // namespace
