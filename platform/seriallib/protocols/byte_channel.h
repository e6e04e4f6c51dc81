#pragma once
// The byte path a transfer protocol runs over: a serial port, a pty in tests, or an in-memory pair.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace seriallib {

using Clock = std::chrono::steady_clock;

class ByteChannel {
public:
    virtual ~ByteChannel() = default;
    // Waits until at least one byte is in or the deadline passes; returns the count (0 on time-out),
    // or -1 when the channel failed or was closed.
    virtual int read(uint8_t* buffer, size_t size, Clock::time_point deadline) = 0;
    // Writes everything or stops at the deadline; returns the count written, or -1 on failure.
    virtual int write(const uint8_t* buffer, size_t size, Clock::time_point deadline) = 0;
    // Drops what has arrived and not been read.
    virtual void purgeInput() = 0;
    // Waits (bounded by the deadline) until what was written has left.
    virtual void drainOutput(Clock::time_point deadline) { (void)deadline; }
};

} // namespace seriallib
