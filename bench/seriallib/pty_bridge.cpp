// Two pseudo-terminals joined back to back, like a null-modem cable: what one slave's program writes
// the other slave's program reads. Optionally each direction is held to a line rate, and spoils
// bytes like a noisy line.
//
//   pty_bridge [bytes-per-second [fault-rate [seed]]]
// prints "A B" (the two slave paths) on its first line, then runs until SIGTERM or SIGINT and
// prints the bytes carried each way; with faults, then the faults made each way. A fault hits a
// byte with the given probability and is, with equal chances, a flipped bit, a lost byte or a
// random byte inserted before it. The same seed gives the same faults for the same bytes.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopping{false};

void onSignal(int) {
    stopping = true;
}

// The faults of one direction.
class Noise {
public:
    Noise(double rate, unsigned long long seed) : rate_(rate), random_(seed) {}

    // Copies in to out (room for 2n bytes) with the faults; returns the bytes out.
    size_t apply(const unsigned char* in, size_t n, unsigned char* out) {
        size_t m = 0;
        for (size_t i = 0; i < n; ++i) {
            if (rate_ <= 0 || !hit_(random_)) {
                out[m++] = in[i];
                continue;
            }
            ++count;
            switch (kind_(random_)) {
            case 0: // flip one bit
                out[m++] = static_cast<unsigned char>(in[i] ^ (1u << bit_(random_)));
                break;
            case 1: // lose it
                break;
            default: // a stray byte ahead of it
                out[m++] = static_cast<unsigned char>(byte_(random_));
                out[m++] = in[i];
                break;
            }
        }
        return m;
    }

    unsigned long long count = 0;

private:
    double rate_;
    std::mt19937_64 random_;
    std::bernoulli_distribution hit_{rate_ > 0 ? rate_ : 0};
    std::uniform_int_distribution<int> kind_{0, 2};
    std::uniform_int_distribution<int> bit_{0, 7};
    std::uniform_int_distribution<int> byte_{0, 255};
};

// Copies from one master to the other; with a rate, no byte leaves before the line would have
// carried the bytes ahead of it.
void carry(int from, int to, double rate, Noise& noise, std::atomic<unsigned long long>& count) {
    unsigned char in[4096], buf[2 * sizeof in];
    auto lineFree = Clock::now();
    while (!stopping) {
        // Bytes already waiting are a backlog the line is still working off; bytes after a wait
        // start on an idle line. Late wake-ups must not slow the line down.
        pollfd p{from, POLLIN, 0};
        bool backlog = ::poll(&p, 1, 0) > 0;
        if (!backlog && ::poll(&p, 1, 50) <= 0)
            continue;
        ssize_t got = ::read(from, in, rate > 0 ? 16 : sizeof in);
        if (got <= 0) {
            // The slave is not open (yet or any more): wait for its program.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        // What the line delivers, stray bytes included, is what takes its time.
        ssize_t n = static_cast<ssize_t>(noise.apply(in, static_cast<size_t>(got), buf));
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
        count += static_cast<unsigned long long>(got);
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
    double faultRate = argc > 2 ? std::atof(argv[2]) : 0;
    unsigned long long seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
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
    // Each direction has its own stream of faults, so one side's traffic does not move the other's.
    Noise noiseAB(faultRate, seed * 2), noiseBA(faultRate, seed * 2 + 1);
    std::thread one(carry, a, b, rate, std::ref(noiseAB), std::ref(aToB));
    std::thread two(carry, b, a, rate, std::ref(noiseBA), std::ref(bToA));
    one.join();
    two.join();
    if (faultRate > 0)
        std::printf("%llu %llu %llu %llu\n", aToB.load(), bToA.load(), noiseAB.count, noiseBA.count);
    else
        std::printf("%llu %llu\n", aToB.load(), bToA.load());
    close(slaveA);
    close(slaveB);
    return 0;
}
