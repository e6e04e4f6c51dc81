#pragma once
// A peer program on the far end of a pseudo-terminal: our side holds the master, the program gets
// the slave (as its stdin and stdout, or by path). Shared by the ZMODEM and Kermit interop tests.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace interop {

class PtyLine {
public:
    PtyLine() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return;
        path_ = name;
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B115200);
        cfsetospeed(&t, B115200);
        tcsetattr(slave_, TCSANOW, &t);
        fcntl(master_, F_SETFD, FD_CLOEXEC);
        fcntl(slave_, F_SETFD, FD_CLOEXEC);
    }
    ~PtyLine() {
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
    }
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& slavePath() const { return path_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// One run of a peer program; killed when it outlives the test.
class Peer {
public:
    // stdioFd: the descriptor that becomes the program's stdin and stdout (-1: /dev/null).
    Peer(const std::vector<std::string>& argv, const std::string& cwd, int stdioFd, const std::string& log) {
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (stdioFd >= 0) {
            posix_spawn_file_actions_adddup2(&fa, stdioFd, 0);
            posix_spawn_file_actions_adddup2(&fa, stdioFd, 1);
        } else {
            posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
            posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        }
        posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        if (posix_spawnp(&pid_, args[0], &fa, &attr, args.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        posix_spawnattr_destroy(&attr);
    }
    ~Peer() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            int st = 0;
            waitpid(pid_, &st, 0);
        }
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int sig) {
        if (pid_ > 0 && !exited_)
            kill(pid_, sig);
    }
    // The exit status, or -1 when the program is still running after limit.
    int wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!exited_) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                break;
            }
            if (std::chrono::steady_clock::now() >= end)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
};

// Two pseudo-terminals joined at their masters: a line whose both ends are real ttys, so that a
// port of the serial library and a peer program each get a slave.
class PtyBridge {
public:
    // bytesPerSecond > 0 throttles each direction to that rate, as a slow line would.
    PtyBridge(PtyLine& a, PtyLine& b, double bytesPerSecond = 0)
        : a_(a.master()), b_(b.master()), rate_(bytesPerSecond) {
        thread_ = std::thread([this] { run(); });
    }
    ~PtyBridge() {
        stop_ = true;
        thread_.join();
    }
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

private:
    void run() {
        char buf[4096];
        const auto start = std::chrono::steady_clock::now();
        double sent[2] = {0, 0};
        while (!stop_) {
            pollfd p[2] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}};
            if (poll(p, 2, 20) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & POLLIN))
                    continue;
                size_t want = sizeof buf;
                if (rate_ > 0) {
                    // Hold the direction back until the line has had time for what it carried.
                    const std::chrono::duration<double> due(sent[i] / rate_);
                    const auto now = std::chrono::steady_clock::now() - start;
                    if (due > now)
                        std::this_thread::sleep_for(due - now);
                    want = 64;
                }
                const ssize_t n = read(p[i].fd, buf, want);
                if (n > 0)
                    sent[i] += double(n);
                const int to = i == 0 ? b_ : a_;
                for (ssize_t done = 0; n > 0 && done < n && !stop_;) {
                    const ssize_t w = write(to, buf + done, size_t(n - done));
                    if (w > 0) {
                        done += w;
                    } else {
                        pollfd o{to, POLLOUT, 0};
                        poll(&o, 1, 20);
                    }
                }
            }
        }
    }
    int a_, b_;
    double rate_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Points COM `port` of the serial library at a device for the life of the object.
class PortMapping {
public:
    PortMapping(int port, const std::string& device, const std::string& folder)
        : file_(folder + "/ports.conf") {
        std::ofstream(file_) << "COM" << port << "=" << device << "\n";
        setenv("BREL_PORT_MAP", file_.c_str(), 1);
    }
    ~PortMapping() { unsetenv("BREL_PORT_MAP"); }

private:
    std::string file_;
};

// True when the program can be found on PATH.
inline bool havePeer(const char* name) {
    const std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

} // namespace interop
