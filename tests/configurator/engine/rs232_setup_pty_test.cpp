// The link on real pseudo-terminals: the port map points COMn at a pty slave, and a thread on the
// master plays the modem.
#include "line_control.h"
#include "port_map.h"
#include "pty_pair.h"
#include "Rs232_setup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Answers each command line (up to its CR) written to the pty.
class PtyModem {
public:
    using Answer = std::function<void(int masterFd, const std::string& command)>;
    PtyModem(int masterFd, Answer answer) : fd_(masterFd), answer_(std::move(answer)) {
        if (::pipe(stop_) != 0)
            throw std::runtime_error("pipe");
        thread_ = std::thread([this] { run(); });
    }
    ~PtyModem() {
        const char c = 0;
        (void)!::write(stop_[1], &c, 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    std::string received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void run() {
        std::string line;
        for (;;) {
            pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 || fds[1].revents)
                return;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                return;
            {
                std::lock_guard lock(mutex_);
                received_.append(buf, static_cast<size_t>(n));
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r') {
                    answer_(fd_, line);
                    line.clear();
                } else if (buf[i] != '\n') {
                    line += buf[i];
                }
            }
        }
    }
    int fd_;
    Answer answer_;
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::string received_;
    std::thread thread_;
};

void send(int fd, std::string_view bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

// A private port map for the test, with COM12 and COM100 on the pty.
class PtyLink : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/engine-ptylink-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        mapFile = (dir / "ports.conf").string();
        ::setenv("BREL_PORT_MAP", mapFile.c_str(), 1);
        ASSERT_TRUE(portmap::writeEntry(mapFile, 12, pty.slavePath()));
        ASSERT_TRUE(portmap::writeEntry(mapFile, 100, pty.slavePath()));
        ASSERT_TRUE(portmap::writeEntry(mapFile, 7, (dir / "no-such-tty").string()));
    }
    void TearDown() override {
        CloseComPort();
        SetLinkSettings({});
        ::unsetenv("BREL_PORT_MAP");
        fs::remove_all(dir);
    }
    static LinkSettings port(int number) {
        LinkSettings s;
        s.PortIndex = number - 1;
        s.PortText = "COM" + std::to_string(number);
        return s;
    }
    int open(int number) {
        SetLinkSettings(port(number));
        return OpenComPort();
    }
    comm::PtyPair pty;
    fs::path dir;
    std::string mapFile;
};

TEST_F(PtyLink, AtGetsOkThroughEitherNameForm) {
    PtyModem modem(pty.master(), [](int fd, const std::string& command) {
        if (command == "at")
            send(fd, "\r\nOK\r\n");
    });
    for (int number : {12, 100}) {
        ASSERT_EQ(open(number), 1) << number;
        EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1) << number;
        EXPECT_EQ(SendAtExpectOkTries("at+gmm\r\n", 8, 2), 0) << number; // no answer to that one
        EXPECT_EQ(CloseComPort(), 1);
    }
    EXPECT_EQ(modem.received(), "at\r\nat+gmm\r\nat\r\nat+gmm\r\n");
}

TEST_F(PtyLink, OkSplitByAPauseIsFound) {
    // The pause is longer than the read interval, so the reply reaches the link in two reads.
    PtyModem modem(pty.master(), [](int fd, const std::string&) {
        send(fd, "\r\nO");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        send(fd, "K\r\n");
    });
    ASSERT_EQ(open(12), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    SendAtExpectOkTries("at\r\n", 4, 0);
    EXPECT_EQ(WaitForReply("\r\nOK", 20), 1);
}

TEST_F(PtyLink, SilentLineEndsEachReadAtItsTimeout) {
    ASSERT_EQ(open(12), 1); // 115200, standard table: at most 10 x 20 + 100 ms per read
    const auto start = Clock::now();
    EXPECT_EQ(SendAtExpectOkTries("at\r\n", 4, 2), 0);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(2 * 300 - 20));
    EXPECT_LT(took, std::chrono::milliseconds(2 * 300 + 1000));
}

TEST_F(PtyLink, PortsThatCannotBeOpened) {
    EXPECT_EQ(open(7), 0); // mapped to a device that does not exist
    EXPECT_EQ(ComHandle(), nullptr);
    EXPECT_EQ(CloseComPort(), 0);

    auto holder = comm::openPort(pty.slavePath()); // another program holds the line
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(open(12), 0);
    EXPECT_EQ(ComHandle(), nullptr);
    holder.reset();
    EXPECT_EQ(open(12), 1);
}

TEST_F(PtyLink, CloseReleasesThePort) {
    ASSERT_EQ(open(12), 1);
    EXPECT_EQ(comm::openPort(pty.slavePath()), nullptr);
    EXPECT_EQ(CloseComPort(), 1);
    EXPECT_EQ(CloseComPort(), 0);
    EXPECT_NE(comm::openPort(pty.slavePath()), nullptr);
}

TEST_F(PtyLink, HangUpMidExchangeFailsReadsWithoutHanging) {
    ASSERT_EQ(open(12), 1);
    std::string got;
    ASSERT_TRUE(ReadChunk(got, kReplyReadSize)); // a quiet line: a read of nothing
    EXPECT_EQ(got, "");
    pty.closeMaster();
    pty.closeSlave();
    const auto start = Clock::now();
    EXPECT_FALSE(ReadChunk(got, kReplyReadSize));
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 0);
    EXPECT_EQ(WaitForReply("OK", 100), 0);
    // Failed reads come back at once: far less than one read's time-out each.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(CloseComPort(), 1);
}

// Reports carrier detect as the test sets it.
class CarrierLine : public comm::LineControl {
public:
    bool getLines(int, int* bits) override {
        *bits = TIOCM_CTS | TIOCM_DSR | (carrier ? TIOCM_CAR : 0);
        return true;
    }
    bool setLines(int, int, int) override { return true; }
    std::atomic<bool> carrier{false};
};

TEST_F(PtyLink, CarrierFollowsTheLine) {
    auto line = std::make_shared<CarrierLine>();
    comm::setLineControl(pty.slavePath(), line);
    ASSERT_EQ(open(12), 1);
    EXPECT_EQ(IsDcdOn(), 0);
    line->carrier = true;
    EXPECT_EQ(IsDcdOn(), 1);
    CloseComPort();
    comm::setLineControl(pty.slavePath(), nullptr);
}

} // namespace
