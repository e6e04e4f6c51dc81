// The line-settings scan: the worker on its own thread finds the simulated modem, the boxes show
// what answered, and the link opened from them reaches the modem. Every framing on a virtual line;
// one on a pseudo-terminal, and the scan's cancel and slow arrivals there too, in real time.
#include "Autodetectthread.h"
#include "sim_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using enginetest::RecordingView;
using enginetest::settingsAt;
using enginetest::SimLink;
using enginetest::VirtualLink;

namespace {

using namespace std::chrono_literals;

// Scans a link opened at the dialog's defaults, as the connect dialog does, then reopens the port
// from the boxes the scan filled and asks the modem; on either transport.
template <class Link>
class Scan : public Link {
protected:
    void findsAndReaches(const q86sim::LineSetting& line, const RecordingView::Boxes& expected) {
        q86sim::Scenario s;
        s.initialSettings = settingsAt(line.baud, line.dataBits, line.parity, line.stopBits);
        this->startModem(s);
        AutoDetectThread worker;
        startScan(worker);
        ASSERT_TRUE(worker.wait(30000));
        EXPECT_EQ(worker.result(), 1);
        const RecordingView::Boxes b = this->ui.view->boxes;
        EXPECT_EQ(b, expected);
        EXPECT_EQ(this->ui.view->log().back(), "end");

        CloseComPort();
        ASSERT_EQ(
            this->open(this->linkAt(b.baudIndex, b.parity.c_str(), b.dataBits.c_str(), b.stopBits.c_str())),
            1);
        EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    }
    void startScan(AutoDetectThread& worker) {
        LinkSettings l = this->linkAt(9);
        l.AutoDetect = true;
        ASSERT_EQ(this->open(l), 1);
        worker.start();
    }
};

using SimDetect = Scan<SimLink>;

struct Found {
    const char* name;
    q86sim::LineSetting line;
    RecordingView::Boxes boxes;
};

class SimDetectFinds : public Scan<VirtualLink>, public testing::WithParamInterface<Found> {};

TEST_P(SimDetectFinds, TheModemAndTheBoxesReachIt) {
    findsAndReaches(GetParam().line, GetParam().boxes);
}

INSTANTIATE_TEST_SUITE_P(
    SimDetect, SimDetectFinds,
    testing::Values(Found{"At115200EightNoneOne", {115200, 8, q86sim::ParityNone, 1}, {9, "8", "1", "None"}},
                    Found{"At115200EightNoneTwo", {115200, 8, q86sim::ParityNone, 2}, {9, "8", "2", "None"}},
                    Found{"At115200SevenEvenOne", {115200, 7, q86sim::ParityEven, 1}, {9, "7", "1", "Even"}},
                    Found{"At57600EightOddOne", {57600, 8, q86sim::ParityOdd, 1}, {8, "8", "1", "Odd"}}),
    [](const testing::TestParamInfo<Found>& info) { return info.param.name; });

// The real port: a pty refuses a change of data bits or parity alone, so the framing it carries.
TEST_F(SimDetect, FindsTheModemOnARealPortAndTheBoxesReachIt) {
    findsAndReaches({57600, 8, q86sim::ParityNone, 1}, {8, "8", "1", "None"});
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
