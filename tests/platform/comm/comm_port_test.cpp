#include "comm_port.h"
#include "line_control.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "tty_device.h"
#include "tty_io.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using comm::CommTimeouts;
using comm::Dcb;
using comm::kMaxDword;
using namespace ptytest;

namespace {

// Waits until the slave side holds n unread bytes.
bool waitPending(int slaveFd, int n) {
    auto end = Clock::now() + 2s;
    int have = 0;
    while (Clock::now() < end) {
        if (::ioctl(slaveFd, FIONREAD, &have) == 0 && have >= n)
            return true;
        std::this_thread::yield();
    }
    return false;
}

class CommPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = comm::openPort(pty.slavePath());
        ASSERT_TRUE(port) << strerror(errno);
    }
    std::string readPort(uint32_t n, bool* ok = nullptr) {
        std::string buf(n, '\0');
        uint32_t got = 0;
        bool r = port->read(buf.data(), n, &got);
        if (ok)
            *ok = r;
        buf.resize(got);
        return buf;
    }
    void setTimeouts(uint32_t i, uint32_t m, uint32_t c, uint32_t wm = 0, uint32_t wc = 100) {
        ASSERT_TRUE(port->setTimeouts(CommTimeouts{i, m, c, wm, wc}));
    }

    comm::PtyPair pty;
    std::unique_ptr<comm::Port> port;
};

using comm::tty::Millis;
const auto kNoLimit = std::optional<Millis>();

struct PlanRow {
    const char* name;
    CommTimeouts t;
    uint32_t n;
    bool immediate, firstChunk;
    std::optional<Millis> total, interval;
};

class ReadPlanRules : public testing::TestWithParam<PlanRow> {};

TEST_P(ReadPlanRules, CommTimeoutRules) {
    const PlanRow& c = GetParam();
    auto plan = comm::tty::planFor(c.t, c.n);
    EXPECT_EQ(plan.immediate, c.immediate);
    EXPECT_EQ(plan.returnOnFirstChunk, c.firstChunk);
    EXPECT_EQ(plan.total, c.total);
    EXPECT_EQ(plan.interval, c.interval);
    EXPECT_EQ(plan.collect, kNoLimit);
    EXPECT_EQ(plan.firstByte, kNoLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Timeouts, ReadPlanRules,
    testing::Values(
        PlanRow{
            "MaxIntervalAloneReturnsAtOnce", {kMaxDword, 0, 0, 0, 0}, 20, true, false, kNoLimit, kNoLimit},
        PlanRow{"MaxIntervalAndMultiplierWaitForTheFirstChunk",
                {kMaxDword, kMaxDword, 500, 0, 0},
                20,
                false,
                true,
                Millis(500),
                kNoLimit},
        PlanRow{"IntervalAndTotal", {20, 10, 100, 0, 0}, 20, false, false, Millis(300), Millis(20)},
        PlanRow{"LongIntervalAndTotal", {550, 50, 3500, 0, 0}, 20, false, false, Millis(4500), Millis(550)},
        // MAXDWORD interval: no gap limit
        PlanRow{"MaxIntervalWithTotalHasNoGapLimit",
                {kMaxDword, 10, 200, 0, 0},
                20,
                false,
                false,
                Millis(400),
                kNoLimit},
        // Win32: wait for the whole count
        PlanRow{"AllZeroWaitsForTheWholeCount", {0, 0, 0, 0, 0}, 20, false, false, kNoLimit, kNoLimit},
        PlanRow{"IntervalAlone", {30, 0, 0, 0, 0}, 5, false, false, kNoLimit, Millis(30)},
        // beyond any real wait: no total limit
        PlanRow{
            "MaxMultiplierHasNoTotalLimit", {0, kMaxDword, 0, 0, 0}, 4, false, false, kNoLimit, kNoLimit}),
    [](const testing::TestParamInfo<PlanRow>& i) { return std::string(i.param.name); });

} // namespace

TEST(ReadPlan, WriteLimitIsMultiplierTimesCountPlusConstant) {
    EXPECT_EQ(comm::tty::writeLimitFor({0, 0, 0, 10, 100}, 20), comm::tty::Millis(300));
    EXPECT_EQ(comm::tty::writeLimitFor({0, 0, 0, 0, 0}, 20), std::nullopt);
}

namespace {

struct GapRow {
    const char* name;
    uint32_t baud;
    uint8_t dataBits, parity, stopBits;
    Millis gap;
};

class QuietGap : public testing::TestWithParam<GapRow> {};

TEST_P(QuietGap, IsThreeCharacterTimes) {
    const GapRow& c = GetParam();
    comm::TtyLineSettings line;
    line.baud = c.baud;
    line.dataBits = c.dataBits;
    line.parity = c.parity;
    line.stopBits = c.stopBits;
    EXPECT_EQ(comm::tty::quietGapFor(line), c.gap) << c.baud << " baud";
}

INSTANTIATE_TEST_SUITE_P(
    Rates, QuietGap,
    testing::Values(GapRow{"Baud9600_8N1_RoundedUp", 9600, 8, 0, 1, Millis(4)}, // 30 bits: 3.1 ms
                    GapRow{"Baud1200_8N1", 1200, 8, 0, 1, Millis(25)},          // 30 bits
                    GapRow{"Baud1200_7E2", 1200, 7, 2, 2, Millis(28)}, // 11-bit characters: 33 bits, 27.5 ms
                    GapRow{"Baud300_8N1", 300, 8, 0, 1, Millis(100)},  // 30 bits
                    GapRow{"Baud50_5N1", 50, 5, 0, 1, Millis(420)},    // 21 bits
                    GapRow{"Baud115200_OneMillisecondFloor", 115200, 8, 0, 1, Millis(1)}, // 0.26 ms
                    GapRow{"Baud921600_OneMillisecondFloor", 921600, 8, 0, 1, Millis(1)}, // 0.03 ms
                    // a broken rate never divides by zero
                    GapRow{"BrokenRateZero", 0, 8, 0, 1, Millis(30000)}),
    [](const testing::TestParamInfo<GapRow>& i) { return std::string(i.param.name); });

} // namespace

TEST_F(CommPortTest, IntervalCutsTheReadAfterTheFirstByte) {
    setTimeouts(100, 0, 3000);
    std::thread peer([&] {
        put(pty.master(), "abc");
        std::this_thread::sleep_for(10ms);
        put(pty.master(), "def");
        std::this_thread::sleep_for(600ms);
        put(pty.master(), "ghi");
    });
    auto start = Clock::now();
    bool ok = false;
    EXPECT_EQ(readPort(20, &ok), "abcdef");
    long ms = msSince(start);
    EXPECT_TRUE(ok);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 600);
    peer.join();
    EXPECT_EQ(readPort(3), "ghi");
}

TEST_F(CommPortTest, TotalDeadlineIsMultiplierTimesCountPlusConstant) {
    setTimeouts(20, 10, 100); // 20 bytes: 300 ms
    auto start = Clock::now();
    bool ok = false;
    EXPECT_EQ(readPort(20, &ok), "");
    long ms = msSince(start);
    EXPECT_TRUE(ok) << "a time-out is a successful read";
    EXPECT_GE(ms, 300);
    EXPECT_LT(ms, 600);

    // A steady trickle never trips the interval, but the total still ends the read.
    setTimeouts(100, 0, 200);
    std::atomic<bool> stop{false};
    std::thread peer([&] {
        while (!stop) {
            put(pty.master(), "x");
            std::this_thread::sleep_for(20ms);
        }
    });
    start = Clock::now();
    std::string got = readPort(1000);
    ms = msSince(start);
    stop = true;
    peer.join();
    EXPECT_GE(ms, 200);
    EXPECT_LT(ms, 500);
    EXPECT_GE(got.size(), 3u);
    EXPECT_LT(got.size(), 30u);
}

TEST_F(CommPortTest, ImmediateReturnAndBufferedBytes) {
    setTimeouts(kMaxDword, 0, 0);
    auto start = Clock::now();
    EXPECT_EQ(readPort(20), "");
    EXPECT_LT(msSince(start), 50);
    put(pty.master(), "hello");
    ASSERT_TRUE(waitPending(pty.slave(), 5));
    EXPECT_EQ(readPort(20), "hello");

    // Enough buffered for the whole count: no waiting at all, even with long limits.
    setTimeouts(5000, 100, 5000);
    put(pty.master(), "0123456789");
    ASSERT_TRUE(waitPending(pty.slave(), 10));
    start = Clock::now();
    EXPECT_EQ(readPort(10), "0123456789");
    EXPECT_LT(msSince(start), 50);
}

TEST_F(CommPortTest, WaitsUpToTheConstantForTheFirstByte) {
    setTimeouts(kMaxDword, kMaxDword, 400);
    auto start = Clock::now();
    EXPECT_EQ(readPort(20), "");
    long ms = msSince(start);
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 700);

    std::thread peer([&] {
        std::this_thread::sleep_for(100ms);
        put(pty.master(), "OK");
    });
    start = Clock::now();
    EXPECT_EQ(readPort(20), "OK");
    ms = msSince(start);
    peer.join();
    EXPECT_GE(ms, 90);
    EXPECT_LT(ms, 350) << "returns as soon as a byte is in";
}

TEST_F(CommPortTest, WriteStopsAtItsDeadline) {
    setTimeouts(kMaxDword, 0, 0, 0, 100);
    std::string big(256 * 1024, 'w'); // more than a pty holds while nobody reads
    uint32_t written = 0;
    auto start = Clock::now();
    EXPECT_TRUE(port->write(big.data(), uint32_t(big.size()), &written));
    long ms = msSince(start);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, big.size());
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 400);
}

TEST_F(CommPortTest, PurgeDropsInputOnlyAndNeverOutput) {
    put(pty.master(), "stale OK");
    ASSERT_TRUE(waitPending(pty.slave(), 8));
    uint32_t written = 0;
    ASSERT_TRUE(port->write("at\r\n", 4, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_TRUE(port->purge(comm::PurgeRxClear | comm::PurgeTxClear | comm::PurgeTxAbort));
    setTimeouts(kMaxDword, 0, 0);
    EXPECT_EQ(readPort(20), "");
    EXPECT_EQ(take(pty.master(), 4), "at\r\n");
}

TEST_F(CommPortTest, ExclusiveInThisProcessAndInAChild) {
    errno = 0;
    EXPECT_FALSE(comm::openPort(pty.slavePath()));
    EXPECT_EQ(errno, EBUSY);
    int excl = 0;
    ASSERT_EQ(::ioctl(pty.slave(), TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 1);

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto other = comm::openPort(pty.slavePath());
        ::_exit(other ? 1 : (errno == EBUSY ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the child must be refused with EBUSY";

    // Closing clears TIOCEXCL, so later openers that are not root get in too, and frees the lock.
    port.reset();
    ASSERT_EQ(::ioctl(pty.slave(), TIOCGEXCL, &excl), 0);
    EXPECT_EQ(excl, 0);
    EXPECT_TRUE(comm::openPort(pty.slavePath()));
}

TEST_F(CommPortTest, StateKeepsFieldsTheCallerLeftAlone) {
    Dcb dcb;
    ASSERT_TRUE(port->getState(dcb));
    EXPECT_EQ(dcb.BaudRate, 38400u) << "derived from the new pty's termios";
    dcb.BaudRate = 57600;
    dcb.ByteSize = 7;
    dcb.Parity = comm::EvenParity;
    dcb.StopBits = comm::TwoStopBits;
    dcb.fOutxDsrFlow = true;
    dcb.fParity = true;
    dcb.fRtsControl = comm::LineHandshake;
    dcb.fDtrControl = comm::LineHandshake;
    dcb.XonChar = 0x21;
    ASSERT_TRUE(port->setState(dcb));
    Dcb back;
    ASSERT_TRUE(port->getState(back));
    EXPECT_EQ(back, dcb);

    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B57600));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS) << "handshake RTS must not hold our output for CTS";

    // A record the device cannot take fails and leaves the last good one in place.
    Dcb bad = dcb;
    bad.StopBits = comm::One5StopBits;
    EXPECT_FALSE(port->setState(bad));
    ASSERT_TRUE(port->getState(back));
    EXPECT_EQ(back, dcb);
}

TEST_F(CommPortTest, RatesWithAndWithoutAConstant) {
    for (uint32_t baud : {300u, 115200u, 14400u, 7200u, 250000u, 9600u}) {
        Dcb dcb;
        ASSERT_TRUE(port->getState(dcb));
        dcb.BaudRate = baud;
        dcb.StopBits = comm::OneStopBit;
        ASSERT_TRUE(port->setState(dcb)) << baud;
        uint32_t seen = 0;
        ASSERT_TRUE(comm::tty::getSpeed(pty.master(), &seen));
        EXPECT_EQ(seen, baud);
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
        EXPECT_FALSE(t.c_cflag & CSTOPB);
    }
}

TEST_F(CommPortTest, PtyReportsCtsAndDsrOnly) {
    uint32_t status = 0xFFFF;
    ASSERT_TRUE(port->getModemStatus(&status));
    EXPECT_EQ(status, uint32_t(comm::MsCtsOn | comm::MsDsrOn));
    Dcb dcb;
    ASSERT_TRUE(port->getState(dcb));
    dcb.fDtrControl = comm::LineDisable; // a device without lines ignores DTR/RTS
    dcb.fRtsControl = comm::LineDisable;
    EXPECT_TRUE(port->setState(dcb));
}

TEST_F(CommPortTest, MasterClosingMidReadFailsTheRead) {
    setTimeouts(0, 0, 5000);
    bool ok = true;
    std::string got;
    auto start = Clock::now();
    std::thread reader([&] { got = readPort(20, &ok); });
    put(pty.master(), "ab"); // the read may or may not have taken these before the hang-up
    pty.closeMaster();
    reader.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(msSince(start), 2000);
}

namespace {

class RecordingLines : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = lines;
        return true;
    }
    bool setLines(int, int raise, int drop) override {
        raised |= raise;
        raised &= ~drop;
        return true;
    }
    void settingsApplied(int, const comm::TtyLineSettings& s) override { applied.push_back(s); }
    int lines = TIOCM_CAR;
    int raised = 0;
    std::vector<comm::TtyLineSettings> applied;
};

} // namespace

TEST_F(CommPortTest, InstalledLineControlSeesSettingsAndDrivesLines) {
    auto lines = std::make_shared<RecordingLines>();
    comm::setLineControl(pty.slavePath(), lines);
    Dcb dcb;
    ASSERT_TRUE(port->getState(dcb));
    dcb.BaudRate = 2400;
    dcb.ByteSize = 7;
    dcb.Parity = comm::MarkParity;
    dcb.fRtsControl = comm::LineEnable;
    dcb.fDtrControl = comm::LineDisable;
    ASSERT_TRUE(port->setState(dcb));
    ASSERT_EQ(lines->applied.size(), 1u);
    EXPECT_EQ(lines->applied[0], (comm::TtyLineSettings{2400, 7, 3, 1, false, false}));
    EXPECT_EQ(lines->raised, TIOCM_RTS);
    uint32_t status = 0;
    ASSERT_TRUE(port->getModemStatus(&status));
    EXPECT_EQ(status, uint32_t(comm::MsRlsdOn));
    comm::setLineControl(pty.slavePath(), nullptr);
    ASSERT_TRUE(port->getModemStatus(&status));
    EXPECT_EQ(status, uint32_t(comm::MsCtsOn | comm::MsDsrOn));
}

// A pty drops data bits and parity; a change of nothing else must still be taken and told.
TEST_F(CommPortTest, FramingOnlyChangeIsTakenOnAPty) {
    auto lines = std::make_shared<RecordingLines>();
    comm::setLineControl(pty.slavePath(), lines);
    Dcb dcb;
    ASSERT_TRUE(port->getState(dcb));
    dcb.BaudRate = 9600;
    ASSERT_TRUE(port->setState(dcb));
    const struct {
        uint8_t bytes;
        uint8_t parity;
    } framings[] = {{7, comm::EvenParity}, {8, comm::EvenParity}, {7, comm::NoParity}, {8, comm::NoParity}};
    for (const auto& f : framings) {
        SCOPED_TRACE(testing::Message() << int(f.bytes) << " bits, parity " << int(f.parity));
        dcb.ByteSize = f.bytes;
        dcb.Parity = f.parity;
        ASSERT_TRUE(port->setState(dcb));
        EXPECT_EQ(lines->applied.back(), (comm::TtyLineSettings{9600, f.bytes, f.parity, 1, false, false}));
    }
    comm::setLineControl(pty.slavePath(), nullptr);
}

TEST(CommPortOpen, NamesThroughTheMapAndNamesThatMapToNothing) {
    comm::PtyPair pty;
    char dir[] = "/tmp/commmap-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    std::string map = std::string(dir) + "/ports.conf";
    std::ofstream(map) << "COM42=" << pty.slavePath() << "\nCOM7=/nonexistent/tty\n";
    ::setenv("BREL_PORT_MAP", map.c_str(), 1);

    auto port = comm::openPort("\\\\.\\COM42");
    ASSERT_TRUE(port);
    uint32_t written = 0;
    ASSERT_TRUE(port->write("ping", 4, &written));
    EXPECT_EQ(take(pty.master(), 4), "ping");
    port.reset();
    port = comm::openPort("\\\\.\\\\.\\COM42"); // the seven-character prefix of COM100 and up
    EXPECT_TRUE(port);

    for (const char* name : {"COM7", "COM300", "bogus", "\\\\.\\"}) {
        errno = 0;
        EXPECT_FALSE(comm::openPort(name)) << name;
        EXPECT_EQ(errno, ENOENT) << name;
    }
    errno = 0;
    EXPECT_FALSE(comm::openPort(map)) << "a plain file is no port";
    EXPECT_EQ(errno, ENOTTY);

    ::unsetenv("BREL_PORT_MAP");
    std::remove(map.c_str());
    ::rmdir(dir);
}

TEST(CommPortOpen, BadMapsAndFilesInAPortsPlaceFailWithoutHanging) {
    comm::PtyPair pty;
    char dir[] = "/tmp/commmap-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    const std::string folder = dir;
    const std::string map = folder + "/ports.conf";
    const std::string fifo = folder + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("../ttyUSB9", (folder + "/usb-Gone-if00").c_str()), 0); // a vanished device
    std::ofstream(map) << "COM1=" << pty.slavePath() << "\nCOM2=ttyUSB0\nCOM3=" << fifo << "\nCOM4=" << folder
                       << "/usb-Gone-if00\n";
    ::setenv("BREL_PORT_MAP", map.c_str(), 1);

    struct Case {
        const char* name;
        int err;
        const char* warning;
    } cases[] = {
        {"COM2", ENOENT, "line 2: \"COM2=ttyUSB0\" is not COMn=/device/path: COM2 will not open"},
        {"COM3", ENOTTY, ""}, // a FIFO with no writer: an open would wait for ever
        {"COM4", ENOENT, ""},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        errno = 0;
        EXPECT_FALSE(comm::openPort(c.name)) << c.name;
        EXPECT_EQ(errno, c.err) << c.name;
        EXPECT_NE(testing::internal::GetCapturedStderr().find(c.warning), std::string::npos) << c.name;
    }
    EXPECT_TRUE(comm::openPort("COM1"));

    // The map itself a FIFO: no port opens, not even one the map would not have named.
    ::setenv("BREL_PORT_MAP", fifo.c_str(), 1);
    for (const char* name : {"COM1", "COM9"}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(comm::openPort(name)) << name;
        EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be read (not a regular file)"),
                  std::string::npos);
    }
    ::unsetenv("BREL_PORT_MAP");
    std::filesystem::remove_all(folder);
}

TEST(CommPortOpen, PermissionHintNamesTheDevicesGroup) {
    EXPECT_EQ(
        comm::tty::permissionHint("/dev/null"),
        "/dev/null: permission denied: the user is not in the device's group \"root\" (sudo usermod -aG root "
        "$USER, then log in again)");
    EXPECT_EQ(comm::tty::permissionHint("/nonexistent/tty"), "/nonexistent/tty: permission denied");
}

TEST(CommPortOpen, InstalledOpenerStandsInForEveryName) {
    struct Scripted : comm::Port {
        bool getState(Dcb&) override { return true; }
        bool setState(const Dcb&) override { return true; }
        bool getTimeouts(CommTimeouts&) override { return true; }
        bool setTimeouts(const CommTimeouts&) override { return true; }
        bool purge(uint32_t) override { return true; }
        bool read(void*, uint32_t, uint32_t* got) override { return *got = 0, true; }
        bool write(const void*, uint32_t n, uint32_t* w) override { return *w = n, true; }
        bool getModemStatus(uint32_t* s) override { return *s = comm::MsRlsdOn, true; }
    };
    std::vector<std::string> names;
    comm::setPortOpener([&](const std::string& name) -> std::unique_ptr<comm::Port> {
        names.push_back(name);
        return std::make_unique<Scripted>();
    });
    EXPECT_TRUE(comm::openPort("\\\\.\\COM99"));
    comm::setPortOpener({});
    EXPECT_EQ(names, std::vector<std::string>{"\\\\.\\COM99"});
    EXPECT_FALSE(comm::openPort("/nonexistent/tty"));
}

TEST(TtyDevice, PseudoTerminalsAndSettingsOutOfRange) {
    comm::PtyPair pty;
    EXPECT_TRUE(comm::tty::isPseudoTerminal(pty.slave()));
    int null = ::open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    EXPECT_FALSE(comm::tty::isPseudoTerminal(null));
    ::close(null);

    termios before{}, after{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &before), 0);
    for (comm::TtyLineSettings bad :
         {comm::TtyLineSettings{9600, 9, 0, 1}, comm::TtyLineSettings{9600, 8, 5, 1},
          comm::TtyLineSettings{9600, 8, 0, 3}, comm::TtyLineSettings{0, 8, 0, 1}}) {
        errno = 0;
        EXPECT_EQ(comm::tty::applyLineSettings(pty.slave(), bad), comm::tty::ApplyResult::NotTaken);
        EXPECT_EQ(errno, EINVAL);
    }
    ASSERT_EQ(::tcgetattr(pty.slave(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}
