#pragma once
// A line that spoils bytes as real ones do, between a transfer and its channel: each byte may get a
// bit flipped, be lost, or be followed by a stray byte. Seeded, so a failing run can be repeated
// (on an in-memory line exactly; on a pty the split of reads varies).

#include "byte_channel.h"

#include <cstdint>
#include <random>
#include <vector>

namespace transfer_test {

struct Noise {
    double flip = 0, drop = 0, insert = 0; // chances per byte
    uint64_t seed = 1;
    static Noise mixed(double rate, uint64_t seed) { return {rate / 3, rate / 3, rate / 3, seed}; }
};

class NoisyChannel : public seriallib::ByteChannel {
public:
    NoisyChannel(seriallib::ByteChannel& inner, Noise in, Noise out)
        : inner_(inner), in_(in), out_(out), inRng_(in.seed), outRng_(out.seed ^ 0x9e3779b97f4a7c15ull) {}

    int read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override {
        if (pending_.empty()) {
            std::vector<uint8_t> raw(size);
            const int n = inner_.read(raw.data(), size, deadline);
            if (n <= 0)
                return n;
            spoil(raw.data(), size_t(n), in_, inRng_, pending_, nullptr);
        }
        const size_t n = std::min(size, pending_.size());
        std::copy(pending_.begin(), pending_.begin() + long(n), buffer);
        pending_.erase(pending_.begin(), pending_.begin() + long(n));
        return int(n); // 0 when the line ate everything: the caller reads again
    }

    int write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override {
        std::vector<uint8_t> spoilt;
        std::vector<size_t> endOf; // where each input byte's output ends
        spoil(buffer, size, out_, outRng_, spoilt, &endOf);
        const int n = spoilt.empty() ? 0 : inner_.write(spoilt.data(), spoilt.size(), deadline);
        if (n < 0)
            return n;
        // Counts the input bytes whose whole output went out.
        size_t done = 0;
        while (done < size && endOf[done] <= size_t(n))
            ++done;
        return int(done);
    }

    void purgeInput() override {
        pending_.clear();
        inner_.purgeInput();
    }
    void drainOutput(seriallib::Clock::time_point deadline) override { inner_.drainOutput(deadline); }

private:
    static void spoil(const uint8_t* data, size_t size, const Noise& noise, std::mt19937_64& rng,
                      std::vector<uint8_t>& out, std::vector<size_t>* endOf) {
        std::uniform_real_distribution<double> chance(0, 1);
        for (size_t i = 0; i < size; ++i) {
            uint8_t b = data[i];
            // Three draws per byte whatever the rates, so one rate does not shift another's faults.
            const double f = chance(rng), d = chance(rng), s = chance(rng);
            const uint64_t r = rng();
            if (f < noise.flip)
                b ^= uint8_t(1u << (r % 8));
            if (d >= noise.drop)
                out.push_back(b);
            if (s < noise.insert)
                out.push_back(uint8_t(r >> 8));
            if (endOf)
                endOf->push_back(out.size());
        }
    }

    seriallib::ByteChannel& inner_;
    Noise in_, out_;
    std::mt19937_64 inRng_, outRng_;
    std::vector<uint8_t> pending_;
};

} // namespace transfer_test
