// The signal monitor's start-up and queries against the simulated modem on a virtual line.

#include "monitor_view.h"
#include "Rf_monitorthread.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

using enginetest::VirtualLink;
using testing::ElementsAre;

namespace {

// Keeps what the window would show; safe from the worker thread.
class RecordingMonitorView : public MonitorView {
public:
    struct Label {
        std::string text;
        LabelColour colour = LabelColour::WindowText;
    };

    void setOperator(const std::string& t, LabelColour c) override { set(op, "operator", t, c); }
    void setRegistration(const std::string& t, LabelColour c) override { set(reg, "registration", t, c); }
    void setRssi(const std::string& t) override {
        std::lock_guard l(m_);
        rssi = t;
    }
    void setBars(int lit) override {
        std::lock_guard l(m_);
        bars = lit;
    }
    std::string askPin() override {
        std::lock_guard l(m_);
        ++pinAsked;
        if (pins.empty())
            return {};
        std::string p = pins.front();
        pins.pop_front();
        return p;
    }
    void showMessage(const std::string& caption, const std::string& text) override {
        std::lock_guard l(m_);
        messages.push_back(caption + ": " + text);
    }
    void enablePollTimer() override {
        std::lock_guard l(m_);
        ++timerEnabled;
    }

    Label op, reg;
    std::string rssi;
    int bars = -1;
    int pinAsked = 0;
    int timerEnabled = 0;
    std::deque<std::string> pins;
    std::vector<std::string> messages;
    std::vector<std::string> calls;

private:
    void set(Label& label, const char* which, const std::string& t, LabelColour c) {
        std::lock_guard l(m_);
        label.text = t;
        if (c != LabelColour::Unchanged)
            label.colour = c;
        calls.push_back(std::string(which) + " " + t);
    }
    std::mutex m_;
};

class SimMonitor : public VirtualLink {
protected:
    void SetUp() override { setMonitorView(view); }
    void TearDown() override {
        setMonitorView(nullptr);
        VirtualLink::TearDown();
    }
    // The modem started and the port opened on it as the connect dialog leaves it.
    void openOn(q86sim::Scenario s) {
        startModem(std::move(s));
        ASSERT_EQ(open(linkAt(9)), 1);
    }
    // The start-up run on its own thread, as the connect dialog starts it.
    void runStartUp(q86sim::Scenario s) {
        openOn(std::move(s));
        Rf_MonitorThread worker(true);
        worker.start();
        ASSERT_TRUE(worker.wait(QDeadlineTimer(20000)));
    }
    long count(const std::string& command) const {
        const auto texts = modem->commandTexts();
        return std::count(texts.begin(), texts.end(), command);
    }
    std::shared_ptr<RecordingMonitorView> view = std::make_shared<RecordingMonitorView>();
};

TEST_F(SimMonitor, ReadySimFillsTheWindowAndEnablesPolling) {
    q86sim::Scenario s;
    s.csq = {"21,0"};
    runStartUp(s);
    EXPECT_EQ(view->op.text, "TestNet");
    EXPECT_EQ(view->reg.text, "Registered");
    EXPECT_EQ(view->reg.colour, LabelColour::WindowText);
    EXPECT_EQ(view->rssi, "21");
    EXPECT_EQ(view->bars, 3);
    EXPECT_EQ(view->fields().SimState, 1);
    EXPECT_EQ(view->fields().EchoProbeResult, 2);
    EXPECT_EQ(view->fields().SmsTunnelWasOn, -1);
    EXPECT_EQ(view->timerEnabled, 1);
    EXPECT_EQ(view->pinAsked, 0);
    EXPECT_EQ(count("at+wopn=0,00101"), 1);
    EXPECT_EQ(count("at*smstun=0"), 0);
}

TEST_F(SimMonitor, WithoutTheMonitorFlagNothingIsSent) {
    openOn({});
    Rf_MonitorThread worker(false);
    worker.start();
    ASSERT_TRUE(worker.wait(QDeadlineTimer(5000)));
    EXPECT_TRUE(modem->commandTexts().empty());
    EXPECT_TRUE(view->calls.empty());
}

struct SimEnd {
    const char* name;
    q86sim::SimState sim;
    const char* registration;
};

class SimMonitorSim : public SimMonitor, public testing::WithParamInterface<SimEnd> {};

TEST_P(SimMonitorSim, StateEndsTheStartUp) {
    q86sim::Scenario s;
    s.sim = GetParam().sim;
    runStartUp(s);
    EXPECT_EQ(view->reg.text, GetParam().registration);
    EXPECT_EQ(view->timerEnabled, 0);
    EXPECT_EQ(view->pinAsked, 0);
    EXPECT_EQ(count("at+creg?"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    SimMonitor, SimMonitorSim,
    testing::Values(SimEnd{"PukRequired", q86sim::SimState::PukRequired, "Need PUK Code"},
                    SimEnd{"Absent", q86sim::SimState::Absent, "Insert SIM card or error"}),
    [](const testing::TestParamInfo<SimEnd>& info) { return info.param.name; });

struct PinEntry {
    const char* name;
    const char* pin;
    const char* registration;
    bool sent;
    bool message;
    bool polling;
};

class SimMonitorPin : public SimMonitor, public testing::WithParamInterface<PinEntry> {};

TEST_P(SimMonitorPin, Entry) {
    const PinEntry& c = GetParam();
    view->pins.push_back(c.pin);
    q86sim::Scenario s;
    s.sim = q86sim::SimState::PinRequired;
    runStartUp(s);
    EXPECT_EQ(view->pinAsked, 1);
    EXPECT_EQ(view->reg.text, c.registration);
    EXPECT_EQ(count(std::string("at+cpin=") + c.pin), c.sent ? 1 : 0);
    EXPECT_EQ(view->messages.size(), c.message ? 1u : 0u);
    if (c.message) {
        EXPECT_EQ(view->messages[0], "Vantro Configurator: Invalid PIN. 4-digit PIN required.");
    }
    EXPECT_EQ(view->timerEnabled, c.polling ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(SimMonitor, SimMonitorPin,
                         testing::Values(PinEntry{"Right", "1234", "Registered", true, false, true},
                                         PinEntry{"None", "", "Need Pin Code", false, false, false},
                                         PinEntry{"NotDigits", "12a4", "Need Pin Code", false, true, false},
                                         PinEntry{"TooShort", "123", "Need Pin Code", false, true, false},
                                         PinEntry{"Wrong", "9999", "Error Pin Code", true, false, false}),
                         [](const testing::TestParamInfo<PinEntry>& info) { return info.param.name; });

TEST_F(SimMonitor, UnknownModelAndSmsTunnel) {
    q86sim::Scenario refusing;
    refusing.replyOverride["at*apver"] = "\r\nERROR\r\n";
    runStartUp(refusing);
    EXPECT_EQ(view->op.text, "Unknown device");
    EXPECT_EQ(view->reg.text, "Please check modem");
    EXPECT_EQ(count("at+cpin?"), 0);

    // The tunnel reported on with the carrier off: switched off for the monitor.
    view = std::make_shared<RecordingMonitorView>();
    setMonitorView(view);
    q86sim::Scenario tunnel;
    tunnel.replyOverride["at*smstun?"] = "\r\n*SMSTUN: 1\r\n\r\nOK\r\n";
    runStartUp(tunnel);
    EXPECT_EQ(view->fields().SmsTunnelWasOn, 1);
    EXPECT_EQ(count("at*smstun=0"), 1);
    EXPECT_EQ(view->timerEnabled, 1);
}

TEST_F(SimMonitor, SwitchingTheTunnelOffGivesTheModemFiveSeconds) {
    runStartUp({});
    const int64_t plain = modem->clock().sleptMs;
    view = std::make_shared<RecordingMonitorView>();
    setMonitorView(view);
    q86sim::Scenario tunnel;
    tunnel.replyOverride["at*smstun?"] = "\r\n*SMSTUN: 1\r\n\r\nOK\r\n";
    runStartUp(tunnel);
    EXPECT_EQ(count("at*smstun=0"), 1);
    EXPECT_GE(modem->clock().sleptMs - plain, 5000);
    EXPECT_LT(modem->clock().sleptMs - plain, 5200);
}

struct EarlyEnd {
    const char* name;
    std::function<void(q86sim::Scenario&)> setup;
    std::vector<std::string> labels;
};

class SimMonitorStartUp : public SimMonitor, public testing::WithParamInterface<EarlyEnd> {};

TEST_P(SimMonitorStartUp, EndsEarly) {
    q86sim::Scenario s;
    GetParam().setup(s);
    runStartUp(s);
    EXPECT_EQ(view->calls, GetParam().labels);
    EXPECT_EQ(count("at*apver"), 0);
    EXPECT_EQ(view->timerEnabled, 0);
}

INSTANTIATE_TEST_SUITE_P(SimMonitor, SimMonitorStartUp,
                         testing::Values(EarlyEnd{"TunnelComesUpDuringTheProbe",
                                                  [](q86sim::Scenario& s) { s.dcdOnCommand = "at"; },
                                                  {"operator Checking Modem", "operator SMS Tunnel Activated",
                                                   "registration Please try again"}},
                                         EarlyEnd{
                                             "NoAnswer",
                                             [](q86sim::Scenario& s) { s.mute = true; },
                                             {"operator Checking Modem", "operator Check Serial setup"}}),
                         [](const testing::TestParamInfo<EarlyEnd>& info) { return info.param.name; });

TEST_F(SimMonitor, CarrierOnAtTheStartKeepsTheTunnel) {
    // The escape waits out the modem's guard time on the line's clock.
    q86sim::Scenario s;
    s.connection = q86sim::Connection::SmsTunnel;
    s.replyOverride["at*smstun?"] = "\r\n*SMSTUN: 1\r\n\r\nOK\r\n";
    runStartUp(s);
    EXPECT_EQ(view->fields().DcdAtStart, 1);
    EXPECT_EQ(view->fields().EscapeResult, 1);
    EXPECT_EQ(view->fields().SmsTunnelWasOn, 1);
    EXPECT_EQ(count("ath"), 1);
    EXPECT_EQ(count("at*smstun=0"), 0) << "the tunnel is not switched off while the carrier was on";
    EXPECT_EQ(view->reg.text, "Registered");
    EXPECT_EQ(view->timerEnabled, 1);
}

struct Reading {
    const char* csq;
    const char* rssi;
    int bars;
    long registrationQueries;
};

class SimMonitorSignal : public SimMonitor, public testing::WithParamInterface<Reading> {};

TEST_P(SimMonitorSignal, Reading) {
    const Reading& c = GetParam();
    q86sim::Scenario s;
    s.csq = {c.csq};
    openOn(s);
    view->fields().NoSignalCount = 0;
    Rf_MonitorThread queries(true);
    EXPECT_EQ(queries.QuerySignalQuality(), 1);
    EXPECT_EQ(view->rssi, c.rssi);
    EXPECT_EQ(view->bars, c.bars);
    EXPECT_EQ(count("at+creg?"), c.registrationQueries);
}

INSTANTIATE_TEST_SUITE_P(SimMonitor, SimMonitorSignal,
                         testing::Values(Reading{"7,0", "7", 1, 1}, Reading{"12,0", "12", 1, 0},
                                         Reading{"13,0", "13", 2, 0}, Reading{"21,0", "21", 3, 0},
                                         Reading{"0,0", "0", 0, 0}, Reading{"31,99", "31", 3, 0}),
                         [](const testing::TestParamInfo<Reading>& info) {
                             std::string name = std::string("Csq") + info.param.csq;
                             std::replace(name.begin(), name.end(), ',', '_');
                             return name;
                         });

TEST_F(SimMonitor, NoSignalThenTwoReadingsQueryTheRegistration) {
    q86sim::Scenario s;
    s.csq = {"99,99", "15,0", "15,0", "15,0"};
    openOn(s);
    Rf_MonitorThread queries(true);
    view->fields().NoSignalCount = 0;
    view->rssi = "7"; // an earlier reading must not stand beside "No Signal"
    EXPECT_EQ(queries.QuerySignalQuality(), 1);
    EXPECT_EQ(view->rssi, "");
    EXPECT_EQ(view->op.text, "Please Check attena.");
    EXPECT_EQ(view->reg.text, "No Signal");
    EXPECT_EQ(view->reg.colour, LabelColour::Red);
    EXPECT_EQ(view->bars, 0);
    EXPECT_EQ(view->fields().NoSignalCount, 2);
    std::vector<long> registrations;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(queries.QuerySignalQuality(), 1);
        registrations.push_back(count("at+creg?"));
    }
    EXPECT_THAT(registrations, ElementsAre(1, 2, 2));
    EXPECT_EQ(view->bars, 2);
}

TEST_F(SimMonitor, SignalNeverAnswered) {
    q86sim::Scenario s;
    s.noReplyTo = {"at+csq"};
    openOn(s);
    Rf_MonitorThread queries(true);
    view->rssi = "7";
    EXPECT_EQ(queries.QuerySignalQuality(), 0);
    EXPECT_EQ(view->rssi, "");
    EXPECT_EQ(view->op.text, "TestNet") << "the registration query after the failure names the operator";
    EXPECT_THAT(view->calls, testing::Contains("operator Please Check Cable."));
    EXPECT_THAT(view->calls, testing::Contains("registration No Signal"));
    EXPECT_EQ(view->bars, 0);
    EXPECT_EQ(count("at+creg?"), 1);
}

struct Registration {
    const char* stat;
    const char* registration;
    LabelColour colour;
    int simState;
    int result;
};

class SimMonitorRegistration : public SimMonitor, public testing::WithParamInterface<Registration> {};

TEST_P(SimMonitorRegistration, State) {
    const Registration& c = GetParam();
    view->op.text = "Before";
    q86sim::Scenario s;
    s.creg = {c.stat};
    openOn(s);
    Rf_MonitorThread queries(true);
    EXPECT_EQ(queries.QueryRegistration(), c.result);
    EXPECT_EQ(view->reg.text, c.registration);
    EXPECT_EQ(view->reg.colour, c.colour);
    EXPECT_EQ(view->fields().SimState, c.simState);
    EXPECT_EQ(view->op.text, c.result ? "TestNet" : "");
    EXPECT_EQ(count("at+cops?"), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    SimMonitor, SimMonitorRegistration,
    testing::Values(Registration{"0", "Not Registered", LabelColour::Red, -1, 0},
                    Registration{"1", "Registered", LabelColour::WindowText, 1, 1},
                    Registration{"2", "Not Registered, Searching", LabelColour::Red, -1, 0},
                    Registration{"3", "Registration Denied", LabelColour::Red, -1, 0},
                    Registration{"4", "Unknown", LabelColour::Red, -1, 0},
                    Registration{"5", "Registered, Roaming", LabelColour::WindowText, 1, 1},
                    Registration{"x", "Unknown", LabelColour::Red, -2, 0}),
    [](const testing::TestParamInfo<Registration>& info) { return std::string("Stat") + info.param.stat; });

TEST_F(SimMonitor, OperatorWithoutCodeLeavesTheLabel) {
    q86sim::Scenario s;
    s.replyOverride["at+cops?"] = "\r\n+COPS: 0\r\n\r\nOK\r\n";
    openOn(s);
    view->op.text = "Before";
    Rf_MonitorThread queries(true);
    EXPECT_EQ(queries.QueryOperator(), 0);
    EXPECT_EQ(view->op.text, "Before");
    EXPECT_EQ(count("at+wopn=0,"), 0);
}

TEST(MonitorReplies, Registration) {
    using monitorreply::RegistrationState;
    EXPECT_EQ(RegistrationState("at+creg?\r\r\n+CREG: 0,5\r\n"), '5');
    EXPECT_EQ(RegistrationState("\r\n+CREG: 2,1,\"1A2B\"\r\n"), '1') << "the first comma after the marker";
    EXPECT_EQ(RegistrationState("junk,3"), '3') << "without the marker the search starts at 0";
    EXPECT_EQ(RegistrationState("\r\n+CREG: 0,"), std::nullopt) << "a comma at the end names no state";
    EXPECT_EQ(RegistrationState("\r\n+CREG: 0\r\n"), std::nullopt);
    EXPECT_EQ(RegistrationState("+CREG"), std::nullopt);
}

TEST(MonitorReplies, SignalValue) {
    using monitorreply::SignalValue;
    EXPECT_EQ(SignalValue("at+csq\r\r\n+CSQ: 7,0\r\n"), "7");
    EXPECT_EQ(SignalValue("\r\n+CSQ: 99,99\r\n"), "99");
    EXPECT_EQ(SignalValue("\r\n+CSQ: 25,0"), "25");
    EXPECT_EQ(SignalValue("\r\n+CSQ: "), std::nullopt) << "a reply cut short after the marker";
    EXPECT_EQ(SignalValue("\r\n+CSQ: x,0"), std::nullopt);
    EXPECT_EQ(SignalValue(std::string(25, '.') + "+CSQ: 21,0"), std::nullopt) << "marker past position 24";
    EXPECT_EQ(SignalValue(std::string(24, '.') + "+CSQ: "), std::nullopt) << "marker at 24, no value read";
}

TEST(MonitorReplies, OperatorCodeAndName) {
    using monitorreply::OperatorCode;
    using monitorreply::QuotedName;
    EXPECT_EQ(OperatorCode("\r\n+COPS: 0,2,\"00101\"\r\n\r\nOK"), "00101");
    EXPECT_EQ(OperatorCode("\r\n+COPS: 0,2,\"00101\",2\r\n"), "00101") << "a trailing field adds no digits";
    EXPECT_EQ(OperatorCode("\r\n+COPS: 0\r\n\r\nOK\r\n"), "");
    EXPECT_EQ(QuotedName("\r\n+WOPN: 0,\"TestNet\"\r\n"), "TestNet");
    EXPECT_EQ(QuotedName("\r\n+WOPN: 0,\"TestNet"), std::nullopt);
    EXPECT_EQ(QuotedName(std::string(10, ' ') + "\"" + std::string(45, 'n') + "\""), std::nullopt)
        << "closing quote beyond the first 52 characters";
}

TEST(MonitorReplies, PinChecks) {
    EXPECT_TRUE(monitorreply::IsValidPin("0000"));
    for (const char* bad : {"", "123", "12345", "12a4", "12 4"})
        EXPECT_FALSE(monitorreply::IsValidPin(bad)) << bad;
    EXPECT_EQ(monitorreply::SimPinState("+CPIN: SIM PIN", "+CPIN: READY"), 0);
    EXPECT_EQ(monitorreply::SimPinState("+CPIN: SIM PUK", ""), 2);
    EXPECT_EQ(monitorreply::SimPinState("+CME ERROR: 10", ""), 3);
}

} // namespace
