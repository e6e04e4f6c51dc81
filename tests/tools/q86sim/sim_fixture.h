#pragma once
// A simulated modem on a pty behind COM3 of a private port map, and the configurator's link on it.

#include "port_map.h"
#include "Rs232_setup.h"
#include "simulated_modem.h"
#include "temporary_port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace q86sim::test {

constexpr int kPort = 3;

inline const char* baudText(int index) {
    static const char* texts[] = {"300",  "600",   "1200",  "2400",  "4800",
                                  "9600", "19200", "38400", "57600", "115200"};
    return texts[index];
}

class SimOnPty : public testing::Test {
protected:
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        modem.reset();
    }
    // Starts a modem with the scenario and publishes it as COM3.
    SimulatedModem& startModem(Scenario s = {}) {
        modem = std::make_unique<SimulatedModem>(std::move(s));
        modem->start();
        EXPECT_TRUE(modem->publish(kPort));
        return *modem;
    }
    // Opens COM3 through the link with the connect dialog's choices.
    int open(int baudIndex = 9, const char* parity = "None", const char* dataBits = "8",
             const char* stopBits = "1", bool opRead = false) {
        LinkSettings l;
        l.PortIndex = kPort - 1;
        l.PortText = "COM" + std::to_string(kPort);
        l.BaudIndex = baudIndex;
        l.BaudText = baudText(baudIndex);
        l.ParityText = parity;
        l.DataBitsText = dataBits;
        l.StopBitsText = stopBits;
        l.OpRead = opRead;
        SetLinkSettings(l);
        return OpenComPort();
    }
    // Reads until marker arrives or `reads` reads of `chunk` bytes have passed; returns all bytes.
    static std::string collect(std::string_view marker, int reads, uint32_t chunk) {
        std::string all;
        for (int i = 0; i < reads; ++i) {
            std::string part;
            if (!ReadChunk(part, chunk)) {
                break;
            }
            all += part;
            if (all.find(marker) != std::string::npos) {
                break;
            }
        }
        return all;
    }
    static std::string exchange(std::string_view command, std::string_view marker = "OK\r\n", int reads = 30,
                                uint32_t chunk = 160) {
        PurgeReceive();
        WriteCommand(command.data(), static_cast<int>(command.size()));
        return collect(marker, reads, chunk);
    }

    TemporaryPortMap map;
    const std::filesystem::path dir = map.folder();
    const std::string mapFile = map.path();
    std::unique_ptr<SimulatedModem> modem;
};

// A scenario with the changes f makes to the default one.
template <class F>
Scenario with(F f) {
    Scenario s;
    f(s);
    return s;
}

inline Settings settingsAt(uint32_t baud, uint8_t dataBits = 8, uint8_t parity = ParityNone,
                           uint8_t stopBits = 1) {
    Settings s = Settings::factory();
    s.line = {baud, dataBits, parity, stopBits};
    return s;
}

} // namespace q86sim::test
