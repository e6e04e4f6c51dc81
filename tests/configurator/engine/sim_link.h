#pragma once
// A simulated modem on a pseudo-terminal behind COM3 of a private port map, with the link opened
// on it as the connect dialog would, and a recording view installed.

#include "recording_view.h"
#include "Rs232_setup.h"
#include "simulated_modem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace enginetest {

inline const char* baudTextOf(int index) {
    static const char* texts[] = {"300",  "600",   "1200",  "2400",  "4800",
                                  "9600", "19200", "38400", "57600", "115200"};
    return texts[index];
}

class SimLink : public testing::Test {
protected:
    static constexpr int kPort = 3;

    void SetUp() override {
        char pattern[] = "/tmp/dialogues-sim-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("BREL_PORT_MAP", (dir / "ports.conf").c_str(), 1);
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        modem.reset();
        ::unsetenv("BREL_PORT_MAP");
        std::filesystem::remove_all(dir);
    }
    q86sim::SimulatedModem& startModem(q86sim::Scenario s = {}) {
        CloseComPort();
        modem.reset();
        modem = std::make_unique<q86sim::SimulatedModem>(std::move(s));
        modem->start();
        EXPECT_TRUE(modem->publish(kPort));
        return *modem;
    }
    LinkSettings linkAt(int baudIndex, const char* parity = "None", const char* dataBits = "8",
                        const char* stopBits = "1") {
        LinkSettings l;
        l.PortIndex = kPort - 1;
        l.PortText = "COM3";
        l.BaudIndex = baudIndex;
        l.BaudText = baudTextOf(baudIndex);
        l.ParityText = parity;
        l.DataBitsText = dataBits;
        l.StopBitsText = stopBits;
        return l;
    }
    int open(const LinkSettings& l) {
        SetLinkSettings(l);
        return OpenComPort();
    }

    std::filesystem::path dir;
    std::unique_ptr<q86sim::SimulatedModem> modem;
    ViewInstall ui;
};

inline q86sim::Settings settingsAt(uint32_t baud, uint8_t dataBits = 8, uint8_t parity = q86sim::ParityNone,
                                   uint8_t stopBits = 1) {
    q86sim::Settings s = q86sim::Settings::factory();
    s.line = {baud, dataBits, parity, stopBits};
    return s;
}

} // namespace enginetest
