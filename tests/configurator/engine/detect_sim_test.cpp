// The line-settings scan end to end: the worker on its own thread finds the simulated modem on a
// pseudo-terminal, the boxes show what answered, and the link opened from them reaches the modem.
#include "Autodetectthread.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using enginetest::RecordingView;
using enginetest::settingsAt;
using enginetest::SimLink;

namespace {

using namespace std::chrono_literals;

class SimDetect : public SimLink {
protected:
    // Starts the worker on a link opened at the dialog's defaults.
    void startScan(AutoDetectThread& worker) {
        LinkSettings l = linkAt(9);
        l.AutoDetect = true;
        ASSERT_EQ(open(l), 1);
        worker.start();
    }
};

TEST_F(SimDetect, FindsTheModemAndTheBoxesReachIt) {
    const struct {
        q86sim::LineSetting line;
        RecordingView::Boxes boxes;
    } cases[] = {
        {{115200, 8, q86sim::ParityNone, 1}, {9, "8", "1", "None"}},
        {{115200, 8, q86sim::ParityNone, 2}, {9, "8", "2", "None"}},
        {{115200, 7, q86sim::ParityEven, 1}, {9, "7", "1", "Even"}},
        {{57600, 8, q86sim::ParityOdd, 1}, {8, "8", "1", "Odd"}},
    };
    for (const auto& c : cases) {
        q86sim::Scenario s;
        s.initialSettings = settingsAt(c.line.baud, c.line.dataBits, c.line.parity, c.line.stopBits);
        startModem(s);
        ui.view->boxes = {};
        AutoDetectThread worker;
        startScan(worker);
        ASSERT_TRUE(worker.wait(30000));
        EXPECT_EQ(worker.result(), 1) << c.line.baud;
        EXPECT_EQ(ui.view->boxes, c.boxes) << c.line.baud;
        EXPECT_EQ(ui.view->log().back(), "end");

        // The connect dialog reopens the port from its boxes for the operation. (A pty refuses a
        // change of data bits or parity alone, which the port layer reports as a failure; so this
        // is checked for the framings a pty carries.)
        const RecordingView::Boxes b = ui.view->boxes;
        if (b.dataBits == "8" && b.parity == "None") {
            CloseComPort();
            ASSERT_EQ(open(linkAt(b.baudIndex, b.parity.c_str(), b.dataBits.c_str(), b.stopBits.c_str())), 1);
            EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1) << c.line.baud;
        }
    }
}

TEST_F(SimDetect, CancelEndsAScanOfASilentLineWithinATry) {
    q86sim::Scenario s;
    s.mute = true;
    startModem(s);
    AutoDetectThread worker;
    startScan(worker);
    // Let a few tries pass: the status label is set once per framing group.
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (modem->commands().empty() && modem->ignoredBytes() < 20 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    const auto cancelledAt = std::chrono::steady_clock::now();
    worker.cancel();
    ASSERT_TRUE(worker.wait(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, 1500ms);
    EXPECT_EQ(worker.result(), 0);
    EXPECT_EQ(ui.view->log().back(), "end");
    EXPECT_EQ(ui.view->boxes, RecordingView::Boxes{});
}

TEST_F(SimDetect, FramingAnswerAtThreeHundredBaudArrivingByteByByte) {
    q86sim::Scenario s;
    s.initialSettings = settingsAt(300, 7, q86sim::ParityOdd, 1);
    startModem(s);
    ASSERT_EQ(open(linkAt(0, "Odd", "7", "1")), 1);
    ui.view->boxes = {};
    EXPECT_EQ(ReadIcfSetting(300), 1);
    EXPECT_EQ(ui.view->boxes, (RecordingView::Boxes{0, "7", "1", "Odd"}));
}

} // namespace
