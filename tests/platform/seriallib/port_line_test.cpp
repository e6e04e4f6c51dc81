#include "line_control.h"
#include "port_fixture.h"
#include "tty_device.h"

#include <atomic>
#include <mutex>
#include <termios.h>
#include <vector>

using namespace porttest;

namespace {

class FakeLines : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = lines;
        return true;
    }
    bool setLines(int, int raise, int drop) override {
        std::lock_guard lock(mutex);
        out = (out | raise) & ~drop;
        return true;
    }
    void settingsApplied(int, const comm::TtyLineSettings& s) override {
        std::lock_guard lock(mutex);
        applied.push_back(s);
    }
    void breakSent(int) override { ++breaks; }

    std::atomic<int> lines{0};
    std::mutex mutex;
    int out = 0;
    std::vector<comm::TtyLineSettings> applied;
    std::atomic<int> breaks{0};
};

} // namespace

struct LineCodeCase {
    int code, mode;
    uint32_t baud;
    uint8_t dataBits, parity, stopBits;
};

void PrintTo(const LineCodeCase& c, std::ostream* os) {
    *os << "code " << c.code;
}

class PortLineCodes : public PortTest, public ::testing::WithParamInterface<LineCodeCase> {};

TEST_P(PortLineCodes, ReachTheDevice) {
    const LineCodeCase& c = GetParam();
    auto fake = std::make_shared<FakeLines>();
    comm::setLineControl(pty.slavePath(), fake);
    open();
    ASSERT_EQ(SerialSetLine(kPort, c.code, c.mode), 0);
    uint32_t baud = 0;
    ASSERT_TRUE(comm::tty::getSpeed(pty.master(), &baud));
    EXPECT_EQ(baud, c.baud);
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.stopBits == 2);
    // The pty forces 8 bits and no parity; the line control sees what was asked for.
    {
        std::lock_guard lock(fake->mutex);
        ASSERT_FALSE(fake->applied.empty());
        EXPECT_EQ(fake->applied.back(), (comm::TtyLineSettings{c.baud, c.dataBits, c.parity, c.stopBits}));
    }
    comm::setLineControl(pty.slavePath(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codes, PortLineCodes,
                         ::testing::Values(LineCodeCase{5, SerialData8, 300, 8, 0, 1},
                                           LineCodeCase{12, SerialData7 | SerialParityEven, 9600, 7, 2, 1},
                                           LineCodeCase{16, SerialData8 | SerialStop2, 115200, 8, 0, 2},
                                           // no B constant
                                           LineCodeCase{11, SerialData8 | SerialParityOdd, 7200, 8, 1, 1},
                                           LineCodeCase{19, SerialData5 | SerialStop2 | SerialParityMark,
                                                        921600, 5, 3, 2},
                                           LineCodeCase{0, SerialData6 | SerialParitySpace, 50, 6, 4, 1},
                                           LineCodeCase{3, SerialData8, 134, 8, 0, 1},
                                           LineCodeCase{13, SerialData8, 19200, 8, 0, 1}),
                         [](const ::testing::TestParamInfo<LineCodeCase>& info) {
                             return "code_" + std::to_string(info.param.code);
                         });

struct FlowCase {
    int bits;
    bool crtscts, xon;
};

void PrintTo(const FlowCase& c, std::ostream* os) {
    *os << "bits " << c.bits;
}

class PortFlowBits : public PortTest, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(PortFlowBits, ReachTheDevice) {
    const FlowCase& c = GetParam();
    open();
    // From the opposite setting, so that every bit the row checks has to change.
    ASSERT_EQ(SerialSetFlowControl(kPort, 0xF & ~c.bits), 0);
    ASSERT_EQ(SerialSetFlowControl(kPort, c.bits), 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.crtscts);
    EXPECT_EQ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.xon);
}

INSTANTIATE_TEST_SUITE_P(Bits, PortFlowBits,
                         ::testing::Values(FlowCase{SerialFlowRtsCts, true, false},
                                           FlowCase{SerialFlowXonXoff, false, true},
                                           FlowCase{0xF, true, true}, FlowCase{0, false, false}),
                         [](const ::testing::TestParamInfo<FlowCase>& info) {
                             return "bits_" + std::to_string(info.param.bits);
                         });

TEST_F(PortTest, LineAndFlowSettingsSurviveEachOther) {
    open();
    // The line settings survive a flow change and the other way round.
    ASSERT_EQ(SerialSetLine(kPort, 9, SerialData8 | SerialStop2), 0);
    ASSERT_EQ(SerialSetFlowControl(kPort, SerialFlowRtsCts), 0);
    EXPECT_EQ(SerialSetRts(kPort, 1), SerialErrHwFlow) << "the driver owns RTS under hardware flow";
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B2400));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    ASSERT_EQ(SerialSetLine(kPort, 16, SerialData8), 0);
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
}

TEST_F(PortTest, PtyLinesDtrRtsAndBreak) {
    open();
    EXPECT_EQ(SerialGetLineStatus(kPort), SerialLineCts | SerialLineDsr);
    EXPECT_EQ(SerialSetDtr(kPort, 0), 0);
    EXPECT_EQ(SerialSetRts(kPort, 0), 0);
    EXPECT_EQ(SerialSendBreak(kPort, 2), 0);

    auto fake = std::make_shared<FakeLines>();
    fake->lines = TIOCM_CAR | TIOCM_RNG;
    comm::setLineControl(pty.slavePath(), fake);
    EXPECT_EQ(SerialGetLineStatus(kPort), SerialLineDcd | SerialLineRing);
    EXPECT_EQ(SerialSetDtr(kPort, 1), 0);
    EXPECT_EQ(SerialSetRts(kPort, 0), 0);
    {
        std::lock_guard lock(fake->mutex);
        EXPECT_EQ(fake->out, TIOCM_DTR);
    }
    auto start = Clock::now();
    EXPECT_EQ(SerialSendBreak(kPort, 1), 0);
    EXPECT_GE(msSince(start), 100);
    EXPECT_EQ(fake->breaks, 1);
    comm::setLineControl(pty.slavePath(), nullptr);
}
