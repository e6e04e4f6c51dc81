#pragma once
// A simulated modem behind COM3, with the link opened on it as the connect dialog would, and a
// recording view installed: on a pseudo-terminal of a private port map (SimLink), or on a virtual
// line where the dialogues' waits take no real time (VirtualLink).

#include "recording_view.h"
#include "Rs232_setup.h"
#include "simulated_modem.h"
#include "virtual_modem.h"

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

// The link settings and the view, whatever the modem sits behind.
class LinkTest : public testing::Test {
protected:
    static constexpr int kPort = 3;

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

    ViewInstall ui;
};

class SimLink : public LinkTest {
protected:
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

    std::filesystem::path dir;
    std::unique_ptr<q86sim::SimulatedModem> modem;
};

class VirtualLink : public LinkTest {
protected:
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        modem.reset();
    }
    VirtualModem& startModem(q86sim::Scenario s = {}) {
        CloseComPort();
        modem.reset();
        modem = std::make_unique<VirtualModem>("COM3", std::move(s));
        return *modem;
    }

    std::unique_ptr<VirtualModem> modem;
};

inline q86sim::Settings settingsAt(uint32_t baud, uint8_t dataBits = 8, uint8_t parity = q86sim::ParityNone,
                                   uint8_t stopBits = 1) {
    q86sim::Settings s = q86sim::Settings::factory();
    s.line = {baud, dataBits, parity, stopBits};
    return s;
}

} // namespace enginetest
