#pragma once
// What every transfer protocol needs around its byte channel: deadlines, the two ways a user stops
// a transfer (the progress callback's -1 and the port's abort flags), progress reports, a read
// buffer, and the counters a benchmark or a test looks at.

#include "byte_channel.h"
#include "port_channel.h"
#include "seriallib.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace seriallib {

using std::chrono::milliseconds;

// Time limits of a transfer. The defaults suit a real line; tests shorten them.
struct TransferTimings {
    milliseconds startWait{60000};    // how long a sender waits for its receiver to ask for data
    milliseconds startInterval{3000}; // a receiver repeats its start request this often
    int startTries{20};               // ... this many times before it gives up
    milliseconds responseWait{10000}; // a sender waits this long for the answer to a block
    milliseconds byteGap{1000};       // the longest pause inside a block or packet
    milliseconds blockWait{10000};    // a receiver waits this long for the next block
    milliseconds quiet{200};          // silence that ends a purge of a noisy line
    milliseconds writeStall{10000};   // a write that makes no progress this long fails
    int retries{10};                  // attempts per block before the transfer fails
    // A sender's pause between the receiver's answer and the next block, for receivers that
    // discard their input right after answering (on a pty the next block can arrive before that).
    // A real line's own delay covers it, so there is none by default.
    std::chrono::microseconds turnaround{0};
    // Silence after a sender's last word (its EOT, the batch's closing block) that means the
    // receiver took it and left: one that is still there answers well within it.
    milliseconds leaveWait{1500};
};

// A read that reached its deadline. Never returned from a transfer.
constexpr int ReadTimedOut = -100;

struct TransferStats {
    uint64_t blocks = 0;   // blocks or packets accepted
    uint64_t retries = 0;  // blocks sent again, or asked for again
    uint64_t bytesIn = 0;  // bytes read from the line
    uint64_t bytesOut = 0; // bytes written to the line
};

class TransferContext {
public:
    // abort may be null (no port); progress may be empty.
    TransferContext(ByteChannel& channel, PortAbort* abort, TransferProgressCallback progress,
                    TransferTimings timings = {});

    const TransferTimings& timings() const { return timings_; }
    ByteChannel& channel() { return channel_; }
    TransferStats& stats() { return stats_; }
    static Clock::time_point after(Clock::duration d) { return Clock::now() + d; }

    // 0 while the transfer may go on; TransferErrUserAbort or TransferErrAborted once a stop was asked
    // for. The stop is sticky.
    int stopCode();

    // Reports (done, total) to the callback; returns 0 or the stop code. The values are kept, so the
    // waits below can ask the callback again whether to stop.
    int progress(int64_t done, int64_t total);

    // Up to size bytes, waiting until the deadline for the first. Returns the count, ReadTimedOut,
    // the stop code, or TransferErrNotOpen when the line failed or was closed.
    int read(uint8_t* buffer, size_t size, Clock::time_point deadline);
    // One byte (0..255), or what read() returns instead of bytes.
    int readByte(Clock::time_point deadline);
    // Reads exactly size bytes, allowing gap between any two. Same results; a partial read is
    // ReadTimedOut.
    int readExact(uint8_t* buffer, size_t size, milliseconds gap);

    // Writes everything; 0, the stop code, TransferErrTimeout when the line stalls for writeStall,
    // or TransferErrNotOpen when it failed.
    int write(const uint8_t* buffer, size_t size);
    int write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }

    // Drops everything that has arrived and not been read.
    void purgeInput();
    // Reads and drops until the line has been silent for `silence` or `limit` passes. Returns 0, the
    // stop code or TransferErrNotOpen.
    int waitQuiet(milliseconds silence, Clock::time_point limit);
    // Writes a protocol's cancel sequence whatever the stop state, within about 100 ms.
    void sendCancel(const uint8_t* bytes, size_t size);

private:
    int pollStop();

    ByteChannel& channel_;
    PortAbort* abort_;
    TransferProgressCallback progress_;
    TransferTimings timings_;
    TransferStats stats_;
    int stop_ = 0;
    int lastDone_ = 0;
    int lastTotal_ = 0;
    Clock::time_point lastAsked_{};
    std::vector<uint8_t> inBuf_;
    size_t inPos_ = 0;
    size_t inEnd_ = 0;
};

} // namespace seriallib
