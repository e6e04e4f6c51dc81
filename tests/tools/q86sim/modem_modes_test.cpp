// Command and on-line modes, the escape, rate changes, storing and restarts.

#include "modem_bench.h"

#include <gtest/gtest.h>

namespace q86sim::test {
namespace {

const std::string kOk = "\r\nOK\r\n";

Scenario online(Connection c = Connection::DataCall) {
    Scenario s;
    s.connection = c;
    s.guardMs = 200;
    return s;
}

TEST(ModemModes, EscapeFromOnLineNeedsSilenceOnBothSides) {
    Bench b(online());
    ASSERT_TRUE(b.dcd);
    ASSERT_EQ(b.modem.mode(), Modem::Mode::Online);
    EXPECT_EQ(b.send("+++", 150), ""); // still inside the guard time after
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Online);
    EXPECT_EQ(b.send("", 100), kOk);
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
    EXPECT_TRUE(b.dcd); // the call stays up
    EXPECT_EQ(b.cmd("ato"), "ato\r\n\r\nCONNECT 9600\r\n");
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Online);

    // Data right before the pluses, or right after them, keeps them data.
    b.run(300);
    EXPECT_EQ(b.send("x+++", 500), "");
    EXPECT_EQ(b.send("+++", 50), "");
    EXPECT_EQ(b.send("y", 500), "");
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Online);
    EXPECT_NE(b.modem.onlineData().find("x+++"), std::string::npos);
}

TEST(ModemModes, PlusesInCommandModeAreText) {
    Bench b;
    EXPECT_EQ(b.send("+++", 2000), "+++");  // echoed, no OK
    EXPECT_EQ(b.cmd("at"), "at\r\n" + kOk); // "+++at" is read from its "at"
    Bench q(quiet());
    EXPECT_EQ(q.send("+++", 2000), "");
}

TEST(ModemModes, HangUpAndStopSmsDropTheCarrier) {
    Bench call(online());
    call.send("+++", 500);
    call.cmd("ath");
    EXPECT_FALSE(call.dcd);
    EXPECT_EQ(call.cmd("ato"), "ato\r\n\r\nNO CARRIER\r\n");

    Bench tunnel(online(Connection::SmsTunnel));
    tunnel.send("+++", 500);
    EXPECT_NE(tunnel.cmd("at*smstun?").find("*SMSTUN: 1"), std::string::npos);
    tunnel.cmd("ath");
    EXPECT_TRUE(tunnel.dcd); // hanging up does not end the tunnel
    tunnel.cmd("at*stopsms");
    EXPECT_FALSE(tunnel.dcd);
    tunnel.cmd("at*smstun=1");
    EXPECT_TRUE(tunnel.dcd);
    EXPECT_EQ(tunnel.modem.mode(), Modem::Mode::Online);
}

TEST(ModemModes, CarrierComesOnAtTheEscape) {
    for (Connection c : {Connection::None, Connection::DataCall}) {
        Scenario s = online(c);
        s.dcdOnEscape = true;
        Bench b(s);
        const bool before = b.dcd;
        b.send("+++", 500);
        EXPECT_TRUE(b.dcd);
        if (!before) {
            EXPECT_EQ(b.modem.connection(), Connection::SmsTunnel);
        }
    }
}

TEST(ModemModes, RateChangeAnswersAtTheOldRateThenSwitches) {
    Bench b;
    b.actions.clear();
    b.cmd("at+ipr=9600");
    // The OK leaves before the switch.
    std::size_t okAt = 0;
    std::size_t switchAt = 0;
    for (std::size_t i = 0; i < b.actions.size(); ++i) {
        if (b.actions[i].kind == Action::Kind::Send && b.actions[i].bytes.find("OK") != std::string::npos) {
            okAt = i + 1;
        }
        if (b.actions[i].kind == Action::Kind::SetLine) {
            switchAt = i + 1;
        }
    }
    ASSERT_GT(okAt, 0u);
    EXPECT_GT(switchAt, okAt);
    EXPECT_EQ(b.line.baud, 9600u);
    b.cmd("at+icf=5,1");
    EXPECT_EQ(b.line, (LineSetting{9600, 7, ParityEven, 1}));
    EXPECT_NE(b.cmd("at+icf?").find("+ICF: 5,1"), std::string::npos);
    b.cmd("at+icf=1");
    EXPECT_EQ(b.line, (LineSetting{9600, 8, ParityNone, 2}));
}

TEST(ModemModes, StoreRestartAndFactoryProfile) {
    Bench b(quiet());
    b.cmd("ats0=3");
    b.cmd("at+ipr=9600");
    b.cmd("at+cfun=1", 1000); // not stored: the restart brings back the stored profile
    EXPECT_EQ(b.line.baud, 115200u);
    EXPECT_EQ(b.modem.active().s0, 0);

    b.cmd("ats0=3");
    b.cmd("at+ipr=19200");
    b.cmd("at&w");
    b.cmd("ate1");
    b.cmd("at+cfun=1", 1000);
    EXPECT_EQ(b.line.baud, 19200u);
    EXPECT_EQ(b.modem.active().s0, 3);
    EXPECT_FALSE(b.modem.active().echo); // E1 was never stored
    EXPECT_EQ(b.cmd("at"), kOk);

    const std::string reset = b.cmd("at*default", 3000);
    EXPECT_EQ(reset.find(kOk), 0u);
    const auto up = reset.find("Setup OK");
    ASSERT_NE(up, std::string::npos);
    EXPECT_NE(reset.find("13", up), std::string::npos);
    EXPECT_EQ(b.line, (LineSetting{115200, 8, ParityNone, 1}));
    EXPECT_EQ(b.modem.active(), Settings::factory());
    EXPECT_EQ(b.modem.stored(), Settings::factory());
}

TEST(ModemModes, InputDuringARestartIsLost) {
    Scenario s = quiet();
    s.restartMs = 500;
    Bench b(s);
    b.cmd("at+cfun=1", 10);
    EXPECT_EQ(b.cmd("at", 10), "");
    b.run(600);
    EXPECT_EQ(b.cmd("at"), kOk);
}

TEST(ModemModes, TunnelConfiguredComesUpAfterRestart) {
    Bench b(quiet());
    b.cmd("at*config");
    b.take();
    // Answer through to the tunnel question with empty values, then Yes to it.
    for (int i = 0; i < 3; ++i) {
        b.cmd("", 200); // keys 0, 1, then Use PIN empty jumps to 6
    }
    b.cmd("", 200);    // Config Serial Port empty: on to 13
    b.cmd("Yes", 200); // SMS tunnel
    b.run(21000);      // the dialogue is abandoned; the answer is kept
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Command);
    EXPECT_TRUE(b.modem.stored().isYes(kSmsTunneling));
    b.cmd("at+cfun=1", 1000);
    EXPECT_TRUE(b.dcd);
    EXPECT_EQ(b.modem.mode(), Modem::Mode::Online);
}

TEST(ModemModes, SimLocksAgainAtRestartUnlessThePinIsStored) {
    Scenario s = quiet();
    s.sim = SimState::PinRequired;
    Bench b(s);
    b.cmd("at+cpin=1234");
    EXPECT_EQ(b.modem.simState(), SimState::Ready);
    b.cmd("at+cfun=1", 1000);
    EXPECT_EQ(b.modem.simState(), SimState::PinRequired);
}

} // namespace
} // namespace q86sim::test
