// The signal monitor window with its worker, against the simulated modem over a pty.

// First: the simulated modem has a member that Qt's keyword macros would rewrite.
#include "simulated_modem.h"

#include "fast_clock.h"
#include "Input_data.h"
#include "link_clock.h"
#include "Rs232_setup.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QTest>

#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

QColor barColour(const QFrame* bar) {
    return bar->palette().color(QPalette::Window);
}

class MonitorWindow : public WindowSetTest {
protected:
    void SetUp() override {
        WindowSetTest::SetUp();
        char pattern[] = "/tmp/monitor-window-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("BREL_PORT_MAP", (dir / "ports.conf").c_str(), 1);
        engine::setLinkClock(std::make_shared<enginetest::FastClock>(10));
    }
    void TearDown() override {
        WindowSetTest::TearDown();
        CloseComPort();
        SetLinkSettings({});
        engine::setLinkClock(nullptr);
        modem.reset();
        ::unsetenv("BREL_PORT_MAP");
        std::filesystem::remove_all(dir);
    }
    // A modem behind COM3 and the port opened on it, without the start-up.
    void openPortOnModem() {
        modem = std::make_unique<q86sim::SimulatedModem>();
        modem->start();
        ASSERT_TRUE(modem->publish(3));
        LinkSettings l;
        l.PortIndex = 2;
        l.PortText = "COM3";
        SetLinkSettings(l);
        ASSERT_EQ(OpenComPort(), 1);
    }
    // What the connect dialog does for the monitor operation, with the port opened on the modem.
    void startMonitor(q86sim::Scenario s, int baudIndex = 9, const char* baudText = "115200") {
        modem = std::make_unique<q86sim::SimulatedModem>(std::move(s));
        modem->start();
        ASSERT_TRUE(modem->publish(3));
        LinkSettings l;
        l.PortIndex = 2;
        l.PortText = "COM3";
        l.BaudIndex = baudIndex;
        l.BaudText = baudText;
        SetLinkSettings(l);
        ResetMonitorWindow();
        ASSERT_EQ(OpenComPort(), 1);
        Fconnect->MonitorOpenedPort = 1;
        Fmainset->OpMonitor = 1;
        Fmainset->show();
        StartMonitorOperation();
        Fmainset->OpMonitor = 0; // as the dialog clears it right away
    }
    bool workerDone(int ms = 15000) {
        return QTest::qWaitFor([] { return Frf_monitor->MonitorWorker->isFinished(); }, ms);
    }
    long count(const std::string& command) const {
        const auto texts = modem->commandTexts();
        return std::count(texts.begin(), texts.end(), command);
    }
    QString registration() { return monitor().GSM_Registration->text(); }

    std::filesystem::path dir;
    std::unique_ptr<q86sim::SimulatedModem> modem;
};

TEST_F(MonitorWindow, StartUpFillsTheWindowAndStartsPolling) {
    q86sim::Scenario s;
    s.csq = {"21,0"};
    startMonitor(s);
    EXPECT_TRUE(Frf_monitor->isVisible());
    EXPECT_FALSE(Fmainset->isVisible());
    EXPECT_FALSE(Fconnect->isVisible());
    ASSERT_TRUE(workerDone());
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor().GSM_OperatorName->text(), "TestNet");
    EXPECT_EQ(registration(), "Registered");
    EXPECT_EQ(monitor().RSSI->text(), "21");
    for (const QFrame* bar : {monitor().Shape1, monitor().Shape2, monitor().Shape3})
        EXPECT_EQ(barColour(bar), QColor(Qt::darkGreen));
    EXPECT_TRUE(Frf_monitor->RF_Timer1->isActive());
    EXPECT_EQ(Frf_monitor->RF_Timer1->interval(), 5000);
}

TEST_F(MonitorWindow, TicksQueryRegistrationUntilRegisteredThenTheSignal) {
    q86sim::Scenario s;
    s.creg = {"2", "2", "1"};
    s.csq = {"7,0", "13,0"};
    startMonitor(s);
    ASSERT_TRUE(workerDone());
    EXPECT_EQ(registration(), "Not Registered, Searching");
    EXPECT_EQ(monitor().GSM_Registration->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Frf_monitor->SimState, -1);
    EXPECT_EQ(count("at+csq"), 0) << "no signal query while not registered";
    ASSERT_TRUE(Frf_monitor->RF_Timer1->isActive());

    Frf_monitor->RF_Timer1->setInterval(20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor().RSSI->text() == "13"; }, 15000));
    EXPECT_EQ(registration(), "Registered");
    EXPECT_EQ(Frf_monitor->SimState, 1);
    EXPECT_EQ(barColour(monitor().Shape3), QColor(Qt::darkGreen));
    EXPECT_EQ(barColour(monitor().Shape2), QColor(Qt::darkGreen));
    EXPECT_EQ(barColour(monitor().Shape1), QColor(Qt::white));
    const auto texts = modem->commandTexts();
    const auto firstCsq = std::find(texts.begin(), texts.end(), "at+csq");
    EXPECT_EQ(std::count(texts.begin(), firstCsq, "at+creg?"), 3) << "each tick asked for the registration";
    Frf_monitor->BitBtn1Click();
}

struct TypedPin {
    const char* name;
    const char* typed;
    const char* registration;
    bool box;
};

class PinTypedIntoTheDialog : public MonitorWindow, public testing::WithParamInterface<TypedPin> {};

TEST_P(PinTypedIntoTheDialog, Registers) {
    const TypedPin& c = GetParam();
    q86sim::Scenario s;
    s.sim = q86sim::SimState::PinRequired;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<TFinput_data*>(QApplication::activeModalWidget())) {
            typist.stop();
            QTest::keyClicks(dialog->InputLabelEdit, c.typed);
            dialog->In_OK->click();
        }
    });
    typist.start(10);
    startMonitor(s);
    ASSERT_TRUE(workerDone());
    EXPECT_EQ(registration(), c.registration);
    EXPECT_EQ(count(std::string("at+cpin=") + c.typed), c.box ? 0 : 1);
    EXPECT_EQ(boxes->texts().size(), c.box ? 1u : 0u);
    EXPECT_EQ(Frf_monitor->RF_Timer1->isActive(), !c.box);
    Frf_monitor->BitBtn1Click();
}

INSTANTIATE_TEST_SUITE_P(MonitorWindow, PinTypedIntoTheDialog,
                         testing::Values(TypedPin{"Digits", "1234", "Registered", false},
                                         TypedPin{"NotDigits", "12a4", "Need Pin Code", true}),
                         [](const testing::TestParamInfo<TypedPin>& info) { return info.param.name; });

TEST_F(MonitorWindow, PukEndsWithoutPollingAndOkStillClosesThePort) {
    q86sim::Scenario s;
    s.sim = q86sim::SimState::PukRequired;
    startMonitor(s);
    ASSERT_TRUE(workerDone());
    EXPECT_EQ(registration(), "Need PUK Code");
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
    Frf_monitor->BitBtn1Click();
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(Fconnect->MonitorOpenedPort, 0);
    EXPECT_FALSE(Frf_monitor->isVisible());
    EXPECT_TRUE(Fmainset->isVisible());
}

TEST_F(MonitorWindow, ClosingWhileTheWorkerStillStarts) {
    // The tunnel reported on: the worker switches it off and then waits five seconds.
    q86sim::Scenario s;
    s.replyOverride["at*smstun?"] = "\r\n*SMSTUN: 1\r\n\r\nOK\r\n";
    engine::setLinkClock(nullptr);
    startMonitor(s);
    // The worker's window updates need the GUI thread: wait serving events.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("at*smstun=0") == 1; }, 10000));
    const auto before = std::chrono::steady_clock::now();
    Frf_monitor->BitBtn1Click();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3)) << "the wait was cut short";
    EXPECT_TRUE(Frf_monitor->MonitorWorker->isFinished());
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
    EXPECT_TRUE(Fmainset->isVisible());
    ASSERT_TRUE(modem->waitForCommand("at*smstun=1", std::chrono::seconds(2))) << "the tunnel was put back";
    EXPECT_EQ(count("at+cpin?"), 0) << "the worker stopped before its next step";
    QTest::qWait(50);
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
}

TEST_F(MonitorWindow, ClosingDuringAnExchangeWaitsForIt) {
    // At 300 baud the model query's reply takes most of a second on the line.
    q86sim::Scenario s;
    q86sim::Settings slow = q86sim::Settings::factory();
    slow.line.baud = 300;
    s.initialSettings = slow;
    startMonitor(s, 0, "300");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count("at*apver") == 1; }, 10000));
    Frf_monitor->BitBtn1Click();
    EXPECT_TRUE(Frf_monitor->MonitorWorker->isFinished()) << "the port was closed under the worker";
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(modem->commandTexts().back(), "at*apver") << "the worker started nothing after the close";
    EXPECT_FALSE(Frf_monitor->RF_Timer1->isActive());
}

struct StartUpFound {
    const char* name;
    bool closeBox;
    int echoProbe, tunnel, dcd, escape;
    std::vector<std::string> sent;
};

class CloseSequence : public MonitorWindow, public testing::WithParamInterface<StartUpFound> {};

TEST_P(CloseSequence, RestoresWhatTheStartUpFound) {
    const StartUpFound& c = GetParam();
    openPortOnModem();
    if (HasFatalFailure())
        return;
    Fconnect->MonitorOpenedPort = 1;
    Frf_monitor->show();
    Frf_monitor->EchoProbeResult = c.echoProbe;
    Frf_monitor->SmsTunnelWasOn = c.tunnel;
    Frf_monitor->DcdAtStart = c.dcd;
    Frf_monitor->EscapeResult = c.escape;
    if (c.closeBox)
        Frf_monitor->close();
    else
        monitor().BitBtn1->click();
    EXPECT_EQ(modem->commandTexts(), c.sent);
    EXPECT_FALSE(Frf_monitor->isVisible());
    EXPECT_EQ(ComHandle(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    MonitorWindow, CloseSequence,
    testing::Values(StartUpFound{"OkEchoOffBackOnLine", false, 1, 1, 1, 1, {"ate0", "ato"}},
                    StartUpFound{"CloseBoxEchoOffTunnelBackOn", true, 1, 1, 1, 0, {"ate0", "at*smstun=1"}},
                    StartUpFound{"OkTunnelBackOn", false, 2, 1, 0, 0, {"at*smstun=1"}},
                    StartUpFound{"CloseBoxNothingToRestore", true, 2, -1, 1, 2, {}}),
    [](const testing::TestParamInfo<StartUpFound>& info) { return info.param.name; });

TEST_F(MonitorWindow, PortTheMonitorDidNotOpenIsLeftOpen) {
    openPortOnModem();
    if (HasFatalFailure())
        return;
    Fconnect->MonitorOpenedPort = 0;
    Frf_monitor->show();
    Frf_monitor->BitBtn1Click();
    EXPECT_NE(ComHandle(), nullptr);
    EXPECT_TRUE(Fmainset->isVisible());
}

TEST_F(MonitorWindow, ResetShowsTheOpeningTexts) {
    monitor().GSM_Registration->setText("Registered");
    monitor().RSSI->setText("21");
    ResetMonitorWindow();
    EXPECT_EQ(monitor().GSM_OperatorName->text(), "Modem Initial");
    EXPECT_EQ(registration(), "");
    EXPECT_EQ(monitor().RSSI->text(), "");
    EXPECT_EQ(barColour(monitor().Shape1), QColor(Qt::white));
}

} // namespace
