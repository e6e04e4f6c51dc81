// Times the line-settings scan against the simulated modem on a pseudo-terminal and prints each time
// beside its floor: the read time-outs of the silent tries the scan order puts before the answer,
// plus, for a modem that answers, the line time of its two exchanges ("at" and "at+icf?", with
// their echoes) and the read interval that ends each answered read.
//
//   detect_bench [all | 115200 | 9600 | 300 | none]
#include "engine_view.h"
#include "Rs232_setup.h"
#include "simulated_modem.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    bool present;
    q86sim::LineSetting line;
};

class BoxView : public EngineView {
public:
    void selectBaudIndex(int i) override { baud = i; }
    void selectDataBits(const std::string& t) override { data = t; }
    void selectStopBits(const std::string& t) override { stop = t; }
    void selectParity(const std::string& t) override { parity = t; }
    int baud = -1;
    std::string data, stop, parity;
};

constexpr uint32_t kRates[kBaudChoices] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// The try (1-based) at which the scan reaches a line: rates from the fastest, 8 data bits before
// 7, the five parities with one stop bit, then no parity with two.
int tryOf(const q86sim::LineSetting& l) {
    int index = 0;
    while (kRates[index] != l.baud)
        ++index;
    const int framing = l.stopBits == 2 ? 5 : l.parity;
    return (kBaudChoices - 1 - index) * 12 + (l.dataBits == 8 ? 0 : 6) + framing + 1;
}

// Two silent 20-byte reads per try: 10 ms a byte and 70 ms, or 300 ms from 600 baud down.
double floorMs(int silentTries) {
    double ms = 0;
    for (int t = 0; t < silentTries; ++t) {
        const int index = kBaudChoices - 1 - t / 12;
        ms += 2 * (10 * 20 + (index <= 1 ? 300 : 70));
    }
    return ms;
}

// The answering try and the framing question: 4 + 11 and 9 + 29 characters on the line, and one read
// interval after the last byte of each reply.
double exchangeMs(const q86sim::LineSetting& l) {
    const double lineMs = (4 + 11 + 9 + 29) * l.bitsPerChar() * 1000.0 / l.baud;
    const int interval = std::max(20, static_cast<int>((2 * 11 * 1000 + l.baud - 1) / l.baud));
    return lineMs + 2 * interval;
}

} // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "all";
    const Case cases[] = {
        {"115200", true, {115200, 8, q86sim::ParityNone, 1}},
        {"9600", true, {9600, 7, q86sim::ParityEven, 1}},
        {"300", true, {300, 8, q86sim::ParityNone, 1}},
        {"none", false, {300, 7, q86sim::ParityNone, 2}},
    };
    char pattern[] = "/tmp/detect-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::filesystem::path dir = pattern;
    ::setenv("BREL_PORT_MAP", (dir / "ports.conf").c_str(), 1);
    auto view = std::make_shared<BoxView>();
    setEngineView(view);

    std::printf("%-8s %-12s %5s %10s %10s %8s  %s\n", "case", "modem", "try", "time ms", "floor ms", "ratio",
                "boxes");
    int failures = 0;
    for (const Case& c : cases) {
        if (only != "all" && only != c.name)
            continue;
        q86sim::Scenario s;
        q86sim::Settings st = q86sim::Settings::factory();
        st.line = c.line;
        s.initialSettings = st;
        s.mute = !c.present;
        q86sim::SimulatedModem modem(s);
        modem.start();
        modem.publish(3);
        LinkSettings l;
        l.PortIndex = 2;
        l.PortText = "COM3";
        l.AutoDetect = true;
        SetLinkSettings(l);
        if (OpenComPort() != 1) {
            std::printf("%-8s cannot open the port\n", c.name);
            return 1;
        }
        *view = BoxView();
        std::atomic<bool> cancel{false};
        const auto start = std::chrono::steady_clock::now();
        const int found = AutoDetectBaud(cancel);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        CloseComPort();
        modem.stop();
        const int tryNumber = c.present ? tryOf(c.line) : 120;
        const double floor = c.present ? floorMs(tryNumber - 1) + exchangeMs(c.line) : floorMs(120);
        const std::string boxes = view->baud < 0 ? "-"
                                                 : std::to_string(kRates[view->baud]) + " " + view->data +
                                                       view->parity.substr(0, 1) + view->stop;
        std::printf("%-8s %-12s %5d %10.0f %10.0f %8.3f  %s\n", c.name,
                    c.present ? c.line.describe().c_str() : "(none)", tryNumber, ms, floor,
                    floor > 0 ? ms / floor : 0.0, found ? boxes.c_str() : "not found");
        if (found != (c.present ? 1 : 0))
            ++failures;
    }
    setEngineView(nullptr);
    std::filesystem::remove_all(dir);
    return failures ? 1 : 0;
}
