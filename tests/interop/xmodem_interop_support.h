#pragma once
// Runs an lrzsz program as the far end of a pty: its stdin and stdout are the slave, our protocol
// runs on the master. No shell is involved.

#include "../platform/seriallib/transfer_test_support.h"
#include "fd_channel.h"
#include "pty_pair.h"
#include "transfer_context.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace interop {

using namespace std::chrono_literals;
using seriallib::Clock;

// Timings for our side: a peer that is there answers at once; one that never starts must not hold
// the suite for the default minute.
inline seriallib::TransferTimings peerTimings() {
    seriallib::TransferTimings t;
    t.startWait = 20s;
    t.startInterval = 1s;
    t.startTries = 20;
    // lrzsz discards its input after every answer: a pause makes it less likely that our next
    // block is thrown away with it (a lost block costs a ten-second time-out).
    t.turnaround = 2ms;
    return t;
}

class PeerProcess {
public:
    // Starts argv[0] (an absolute path) in folder cwd with the pty's slave as stdin and stdout and
    // stderr going to cwd/peer.log. The pty's own copy of the slave is closed, so that the master
    // sees the hang-up when the peer leaves.
    PeerProcess(comm::PtyPair& pty, const std::string& cwd, std::vector<std::string> argv)
        : log_(cwd + "/peer.log") {
        termios t{};
        tcgetattr(pty.master(), &t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(pty.master(), TCSANOW, &t);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        int logFd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setsid();
            if (::chdir(cwd.c_str()) != 0)
                ::_exit(126);
            ::dup2(pty.slave(), 0);
            ::dup2(pty.slave(), 1);
            ::dup2(logFd, 2);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(logFd);
        pty.closeSlave();
    }
    ~PeerProcess() {
        if (pid_ > 0 && status_ == kRunning) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // The exit status, or -1 when the peer had to be killed after the limit.
    int wait(std::chrono::milliseconds limit = 15s) {
        auto end = Clock::now() + limit;
        while (status_ == kRunning) {
            int st = 0;
            pid_t r = ::waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            if (Clock::now() >= end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                status_ = -1;
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        return status_;
    }
    std::string log() const {
        auto bytes = transfer_test::readFile(log_);
        return {bytes.begin(), bytes.end()};
    }

private:
    static constexpr int kRunning = -1000;
    pid_t pid_ = -1;
    int status_ = kRunning;
    std::string log_;
};

// file is data followed only by padding bytes, ending on a whole block of 128 and with less than
// one block of 1024 added.
inline void expectPadded(const std::vector<uint8_t>& file, const std::vector<uint8_t>& data) {
    ASSERT_GE(file.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin()));
    EXPECT_EQ(file.size() % 128, 0u);
    EXPECT_LT(file.size() - data.size(), 1024u);
    EXPECT_TRUE(std::all_of(file.begin() + static_cast<long>(data.size()), file.end(),
                            [](uint8_t b) { return b == 0x1A; }));
}

} // namespace interop

namespace interop {

// Copies bytes both ways between two pty masters, so that a port under test (one pair's slave)
// and a peer program (the other pair's slave) each have a tty of their own. When the peer leaves,
// the port's side is hung up as well.
class PtyRelay {
public:
    PtyRelay(comm::PtyPair& port, comm::PtyPair& peer) : port_(port), peer_(peer) {
        thread_ = std::thread([this] { run(); });
    }
    ~PtyRelay() {
        stop_ = true;
        thread_.join();
    }
    PtyRelay(const PtyRelay&) = delete;
    PtyRelay& operator=(const PtyRelay&) = delete;

private:
    void run() {
        uint8_t buf[4096];
        while (!stop_) {
            pollfd p[2] = {{port_.master(), POLLIN, 0}, {peer_.master(), POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP)))
                    continue;
                ssize_t n = ::read(p[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    if (i == 1) {
                        port_.closeMaster();
                        return;
                    }
                    continue;
                }
                int to = i == 0 ? peer_.master() : port_.master();
                for (ssize_t done = 0; done < n;) {
                    ssize_t w = ::write(to, buf + done, static_cast<size_t>(n - done));
                    if (w > 0)
                        done += w;
                    else if (errno != EAGAIN && errno != EINTR)
                        break;
                    else
                        std::this_thread::sleep_for(1ms);
                }
            }
        }
    }

    comm::PtyPair& port_;
    comm::PtyPair& peer_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace interop
