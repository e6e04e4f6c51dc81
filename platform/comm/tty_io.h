#pragma once
// Reads and writes on a non-blocking tty descriptor with millisecond deadlines (poll), shared by the
// comm port (COMMTIMEOUTS) and the serial library (first-byte and collecting times).

#include "comm_port.h"
#include "line_control.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace comm::tty {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// When a read returns. Unset limits do not apply. total and firstByte count from the read's start;
// interval (the longest gap between two bytes) and collect (the longest time spent) count once the
// first byte is in.
struct ReadPlan {
    bool immediate = false;          // take what is buffered now, never wait
    bool returnOnFirstChunk = false; // return as soon as any byte is in
    std::optional<Millis> total;     // the whole read
    std::optional<Millis> firstByte; // waiting for the first byte
    std::optional<Millis> interval;  // gap between bytes, from the first byte on
    std::optional<Millis> collect;   // time after the first byte
    bool operator==(const ReadPlan&) const = default;
};

// The COMMTIMEOUTS rules for a read of n bytes: MAXDWORD interval with zero multiplier and
// constant returns at once; MAXDWORD interval and multiplier with a constant below MAXDWORD waits
// up to the constant for the first byte; otherwise the total is multiplier * n + constant (none
// when both are 0) and a non-zero interval other than MAXDWORD cuts the read after a gap.
ReadPlan planFor(const CommTimeouts& t, uint32_t n);
// How long a line at these settings must stay quiet before a read that has bytes returns: about
// three character times (start, data, parity and stop bits), never under 1 ms.
Millis quietGapFor(const TtyLineSettings& line);
// The write deadline of n bytes: write multiplier * n + constant, none when both are 0.
std::optional<Millis> writeLimitFor(const CommTimeouts& t, uint32_t n);

struct IoResult {
    size_t count = 0;
    bool failed = false; // an I/O error or hang-up; errno holds the cause
    bool woken = false;  // wakeFd became readable
};

// Reads up to n bytes as the plan says. A time-out is success with fewer bytes. wakeFd (-1: none)
// ends the wait early when it becomes readable; it is not read here.
IoResult readPlanned(int fd, void* buffer, size_t n, const ReadPlan& plan, int wakeFd = -1);

// Writes everything, or stops at the limit (unset: no limit; zero: what fits now).
IoResult writeLimited(int fd, const void* buffer, size_t n, std::optional<Millis> limit, int wakeFd = -1);

} // namespace comm::tty

namespace comm::tty {

// Waits until the driver's output queue is empty (TIOCOUTQ), the limit passes or wakeFd is readable.
// True when the queue emptied. A pty always reports an empty queue.
bool drainOutput(int fd, std::optional<Millis> limit, int wakeFd = -1);

} // namespace comm::tty
