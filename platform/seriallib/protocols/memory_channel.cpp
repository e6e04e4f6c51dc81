#include "memory_channel.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <random>

namespace seriallib {

struct MemoryChannelPair::Direction {
    // Insertions draw from a stream of their own, so that the other faults of a seed stay where
    // they were without them.
    explicit Direction(LineFaults f) : faults(std::move(f)), rng(faults.seed), insertRng(~faults.seed) {}

    struct Byte {
        uint8_t value;
        Clock::time_point ready;
    };

    LineFaults faults;
    std::mt19937_64 rng;
    std::mt19937_64 insertRng;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<Byte> queue;
    uint64_t written = 0;
    bool closed = false;

    void put(const uint8_t* data, size_t size) {
        std::lock_guard lock(mutex);
        auto ready = Clock::now() + faults.delay;
        std::uniform_real_distribution<double> chance(0.0, 1.0);
        for (size_t i = 0; i < size; ++i) {
            uint8_t b = data[i];
            uint64_t index = written++;
            // Draw both numbers for every byte so that one fault rate does not shift the other's stream.
            double c = chance(rng), d = chance(rng);
            auto bit = static_cast<uint8_t>(1u << (rng() % 8));
            if (c < faults.corrupt)
                b ^= bit;
            if (faults.insert > 0.0 && chance(insertRng) < faults.insert)
                queue.push_back({static_cast<uint8_t>(insertRng()), ready});
            bool keep = d >= faults.drop;
            if (faults.fault && !faults.fault(index, b))
                keep = false;
            if (keep)
                queue.push_back({b, ready});
        }
        cv.notify_all();
    }

    int take(uint8_t* buffer, size_t size, Clock::time_point deadline) {
        std::unique_lock lock(mutex);
        for (;;) {
            if (closed)
                return -1;
            auto now = Clock::now();
            if (!queue.empty() && queue.front().ready <= now) {
                size_t n = 0;
                while (n < size && !queue.empty() && queue.front().ready <= now) {
                    buffer[n++] = queue.front().value;
                    queue.pop_front();
                }
                return static_cast<int>(n);
            }
            if (now >= deadline || size == 0)
                return 0;
            auto until = deadline;
            if (!queue.empty() && queue.front().ready < until)
                until = queue.front().ready;
            cv.wait_until(lock, until);
        }
    }

    void purgeArrived() {
        std::lock_guard lock(mutex);
        auto now = Clock::now();
        while (!queue.empty() && queue.front().ready <= now)
            queue.pop_front();
    }

    void close() {
        std::lock_guard lock(mutex);
        closed = true;
        cv.notify_all();
    }
};

class MemoryChannelPair::End : public ByteChannel {
public:
    End(Direction& in, Direction& out) : in_(in), out_(out) {}

    int read(uint8_t* buffer, size_t size, Clock::time_point deadline) override {
        return in_.take(buffer, size, deadline);
    }
    int write(const uint8_t* buffer, size_t size, Clock::time_point) override {
        {
            std::lock_guard lock(out_.mutex);
            if (out_.closed)
                return -1;
        }
        out_.put(buffer, size);
        return static_cast<int>(size);
    }
    void purgeInput() override { in_.purgeArrived(); }

private:
    Direction& in_;
    Direction& out_;
};

MemoryChannelPair::MemoryChannelPair(LineFaults aToB, LineFaults bToA)
    : aToB_(std::make_unique<Direction>(std::move(aToB))),
      bToA_(std::make_unique<Direction>(std::move(bToA))), a_(std::make_unique<End>(*bToA_, *aToB_)),
      b_(std::make_unique<End>(*aToB_, *bToA_)) {}

MemoryChannelPair::~MemoryChannelPair() = default;

ByteChannel& MemoryChannelPair::a() {
    return *a_;
}
ByteChannel& MemoryChannelPair::b() {
    return *b_;
}

void MemoryChannelPair::close() {
    aToB_->close();
    bToA_->close();
}

uint64_t MemoryChannelPair::writtenAToB() const {
    std::lock_guard lock(aToB_->mutex);
    return aToB_->written;
}
uint64_t MemoryChannelPair::writtenBToA() const {
    std::lock_guard lock(bToA_->mutex);
    return bToA_->written;
}

} // namespace seriallib
