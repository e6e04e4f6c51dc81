// Two pseudo-terminals joined back to back, like a null-modem cable: what one slave's program writes
// the other slave's program reads. Optionally each direction is held to a line rate.
//
//   pty_bridge [bytes-per-second]
// prints "A B" (the two slave paths) on its first line, then runs until SIGTERM or SIGINT and
// prints the bytes carried each way.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopping{false};

void onSignal(int) {
    stopping = true;
}

// Copies from one master to the other; with a rate, no byte leaves before the line would have
// carried the bytes ahead of it.
void carry(int from, int to, double rate, std::atomic<unsigned long long>& count) {
    unsigned char buf[4096];
    auto lineFree = Clock::now();
    while (!stopping) {
        // Bytes already waiting are a backlog the line is still working off; bytes after a wait
        // start on an idle line. Late wake-ups must not slow the line down.
        pollfd p{from, POLLIN, 0};
        bool backlog = ::poll(&p, 1, 0) > 0;
        if (!backlog && ::poll(&p, 1, 50) <= 0)
            continue;
        ssize_t n = ::read(from, buf, rate > 0 ? 16 : sizeof buf);
        if (n <= 0) {
            // The slave is not open (yet or any more): wait for its program.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (rate > 0) {
            auto now = Clock::now();
            if (!backlog && lineFree < now)
                lineFree = now;
            lineFree += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(n / rate));
            std::this_thread::sleep_until(lineFree);
        }
        for (ssize_t done = 0; done < n && !stopping;) {
            ssize_t w = ::write(to, buf + done, static_cast<size_t>(n - done));
            if (w > 0) {
                done += w;
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        count += static_cast<unsigned long long>(n);
    }
}

int openPair(int& master, char* name) {
    int slave = -1;
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return -1;
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    // Keep the slave open until both programs have started: a master whose slave was never opened
    // looks idle, one whose slave closed fails, and the first program may close before the second opens.
    return slave;
}

} // namespace

int main(int argc, char** argv) {
    double rate = argc > 1 ? std::atof(argv[1]) : 0;
    int a = -1, b = -1;
    char nameA[128], nameB[128];
    int slaveA = openPair(a, nameA), slaveB = openPair(b, nameB);
    if (slaveA < 0 || slaveB < 0) {
        std::perror("openpty");
        return 1;
    }
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::printf("%s %s\n", nameA, nameB);
    std::fflush(stdout);
    std::atomic<unsigned long long> aToB{0}, bToA{0};
    std::thread one(carry, a, b, rate, std::ref(aToB));
    std::thread two(carry, b, a, rate, std::ref(bToA));
    one.join();
    two.join();
    std::printf("%llu %llu\n", aToB.load(), bToA.load());
    close(slaveA);
    close(slaveB);
    return 0;
}
