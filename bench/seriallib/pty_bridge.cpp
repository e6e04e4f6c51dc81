// Two pseudo-terminals joined back to back, like a null-modem cable: what one slave's program writes
// the other slave's program reads. Optionally each direction is held to a line rate, and spoils
// bytes like a noisy line.
//
//   pty_bridge [bytes-per-second [fault-rate [seed [transmit-buffer [kinds]]]]]
// prints "A B" (the two slave paths) on its first line, then runs until SIGTERM or SIGINT and
// prints the bytes carried each way; with faults, then the faults made each way. A fault hits a
// byte with the given probability and is, with equal chances, a flipped bit, a lost byte or a
// random byte inserted before it. The same seed gives the same faults for the same bytes. A
// transmit buffer (bytes) holds each writer to what a serial port would take ahead of the line.
// Kinds limits the faults to some of f (flipped bit), d (lost byte) and i (inserted byte): "fi".

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <random>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopping{false};

void onSignal(int) {
    stopping = true;
}

// The faults of one direction.
class Noise {
public:
    Noise(double rate, unsigned long long seed, const std::string& kinds = "fdi")
        : rate_(rate), random_(seed) {
        for (char k : kinds)
            if (k == 'f' || k == 'd' || k == 'i')
                kinds_.push_back(k == 'f' ? 0 : k == 'd' ? 1 : 2);
        if (kinds_.empty())
            kinds_ = {0, 1, 2};
        kind_ = std::uniform_int_distribution<int>(0, static_cast<int>(kinds_.size()) - 1);
    }

    // Copies in to out (room for 2n bytes) with the faults; returns the bytes out.
    size_t apply(const unsigned char* in, size_t n, unsigned char* out) {
        size_t m = 0;
        for (size_t i = 0; i < n; ++i) {
            if (rate_ <= 0 || !hit_(random_)) {
                out[m++] = in[i];
                continue;
            }
            ++count;
            switch (kinds_[static_cast<size_t>(kind_(random_))]) {
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
    std::vector<int> kinds_;
    std::uniform_int_distribution<int> kind_{0, 2};
    std::uniform_int_distribution<int> bit_{0, 7};
    std::uniform_int_distribution<int> byte_{0, 255};
};

// A UART's transmit buffer in front of the line: everything the writer has written is taken at
// once, and its writes stop while `size` bytes wait. Without it the writer fills the pty's own
// buffer (about 20 KiB, nearly 2 s of a 115200-baud line), far more than a serial port holds,
// which makes every recovery wait for stale data.
class TransmitBuffer {
public:
    TransmitBuffer(int master, int slave, size_t size) : master_(master), slave_(slave), size_(size) {}

    // Takes what has arrived; true when bytes wait for the line.
    bool fill() {
        pollfd p{master_, POLLIN, 0};
        while (held_.size() < size_ && ::poll(&p, 1, 0) > 0) {
            unsigned char in[4096];
            ssize_t got = ::read(master_, in, std::min(sizeof in, size_ - held_.size()));
            if (got <= 0)
                break;
            held_.insert(held_.end(), in, in + got);
        }
        // Asked again while full: the writer may have restarted its own output.
        if (held_.size() >= size_ || stopped_) {
            stopped_ = held_.size() >= size_;
            ::tcflow(slave_, stopped_ ? TCOOFF : TCOON);
        }
        return !held_.empty();
    }

    size_t take(unsigned char* out, size_t most) {
        size_t n = std::min(most, held_.size());
        std::copy_n(held_.begin(), n, out);
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

private:
    int master_, slave_;
    size_t size_;
    std::deque<unsigned char> held_;
    bool stopped_ = false;
};

// Copies from one master to the other; with a rate, no byte leaves before the line would have
// carried the bytes ahead of it. With a transmit buffer, bytes come from it instead of the pty.
void carry(int from, int to, double rate, TransmitBuffer* held, Noise& noise,
           std::atomic<unsigned long long>& count) {
    unsigned char in[4096], buf[2 * sizeof in];
    auto lineFree = Clock::now();
    bool idle = true;
    while (!stopping) {
        // Bytes already waiting are a backlog the line is still working off; bytes after a wait
        // start on an idle line. Late wake-ups must not slow the line down.
        pollfd p{from, POLLIN, 0};
        bool backlog = held ? held->fill() : ::poll(&p, 1, 0) > 0;
        if (!backlog) {
            idle = true;
            if (::poll(&p, 1, 50) <= 0 || held)
                continue; // with a buffer, new bytes are taken at the top
        }
        ssize_t got = held ? static_cast<ssize_t>(held->take(in, rate > 0 ? 16 : sizeof in))
                           : ::read(from, in, rate > 0 ? 16 : sizeof in);
        if (got <= 0) {
            // The slave is not open (yet or any more): wait for its program.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        // What the line delivers, stray bytes included, is what takes its time.
        ssize_t n = static_cast<ssize_t>(noise.apply(in, static_cast<size_t>(got), buf));
        if (rate > 0) {
            auto now = Clock::now();
            if (idle && lineFree < now)
                lineFree = now;
            idle = false;
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
    // A write to a slave whose program has gone would block for good and keep the bridge from
    // stopping: the copy loops wait and look at the stop flag instead.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
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
    size_t transmitBuffer = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 0;
    const std::string kinds = argc > 5 ? argv[5] : "fdi";
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
    Noise noiseAB(faultRate, seed * 2, kinds), noiseBA(faultRate, seed * 2 + 1, kinds);
    std::unique_ptr<TransmitBuffer> heldA, heldB;
    if (transmitBuffer > 0) {
        heldA = std::make_unique<TransmitBuffer>(a, slaveA, transmitBuffer);
        heldB = std::make_unique<TransmitBuffer>(b, slaveB, transmitBuffer);
    }
    std::thread one(carry, a, b, rate, heldA.get(), std::ref(noiseAB), std::ref(aToB));
    std::thread two(carry, b, a, rate, heldB.get(), std::ref(noiseBA), std::ref(bToA));
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
