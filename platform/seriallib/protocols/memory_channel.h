#pragma once
// Two connected in-memory byte channels: a line for tests, with noise, loss and delay injected
// deterministically (each byte's fate depends only on the seed and its position in the stream).

#include "byte_channel.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace seriallib {

struct LineFaults {
    double corrupt = 0.0;               // chance that a byte arrives with one bit flipped
    double drop = 0.0;                  // chance that a byte is lost
    double insert = 0.0;                // chance that a random byte arrives before a byte
    std::chrono::microseconds delay{0}; // time every byte spends on the line
    uint64_t seed = 1;
    // Targeted faults, applied after the random ones: gets the byte's position in this direction
    // (from 0) and may change it; returns false to lose it.
    std::function<bool(uint64_t index, uint8_t& byte)> fault;
};

class MemoryChannelPair {
public:
    explicit MemoryChannelPair(LineFaults aToB = {}, LineFaults bToA = {});
    ~MemoryChannelPair();
    MemoryChannelPair(const MemoryChannelPair&) = delete;
    MemoryChannelPair& operator=(const MemoryChannelPair&) = delete;

    ByteChannel& a();
    ByteChannel& b();
    // Both ends fail (-1) from now on, waking any waiting read.
    void close();
    // Bytes written into each direction, before faults.
    uint64_t writtenAToB() const;
    uint64_t writtenBToA() const;

    struct Direction;
    class End;

private:
    std::unique_ptr<Direction> aToB_;
    std::unique_ptr<Direction> bToA_;
    std::unique_ptr<End> a_;
    std::unique_ptr<End> b_;
};

} // namespace seriallib
