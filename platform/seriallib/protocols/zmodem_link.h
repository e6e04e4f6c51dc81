#pragma once
// What the ZMODEM sender and receiver share: the retry budget, and the link that holds the output
// buffer, the input, the cancel and the mapping of failed reads to results.

#include "transfer_context.h"
#include "zmodem_frame.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace seriallib::zmodem {

using std::chrono::milliseconds;

// Failures allowed while data keeps coming. Each failure costs one; data that gets through earns
// one back per kEarn bytes, never above the limit. A line that spoils nearly everything so ends the
// transfer, though some data still crawls through, while one that is merely noisy goes on.
class RetryBudget {
public:
    explicit RetryBudget(int limit) : limit_(limit), left_(limit) {}
    // One more failure; false once the budget is spent.
    bool spend() { return --left_ >= 0; }
    void progressed(uint64_t bytes) {
        if (left_ < 0 || left_ >= limit_)
            return;
        earned_ += bytes;
        left_ = int(std::min<uint64_t>(uint64_t(limit_), uint64_t(left_) + earned_ / kEarn));
        earned_ %= kEarn;
    }

private:
    static constexpr uint64_t kEarn = 128;
    int limit_;
    int left_;
    uint64_t earned_ = 0;
};

class Link {
public:
    explicit Link(TransferContext& ctx) : ctx_(ctx), in_(ctx) {}

    ZmodemInput& in() { return in_; }
    Escaper& esc() { return esc_; }
    std::vector<uint8_t>& out() { return out_; }
    const TransferTimings& timings() const { return ctx_.timings(); }
    static Clock::time_point after(milliseconds d) { return Clock::now() + d; }

    int progress(uint64_t done, uint64_t total);

    // Writes the output buffer; 0, or a result code (the stop request, a stalled or failed line).
    // While the line will not take more, the peer may be saying why: its cancel ends the wait.
    int flush();
    static constexpr milliseconds kWriteSlice{20};

    // Waits (up to the deadline) until what was written has left.
    void drain(Clock::time_point deadline) { ctx_.channel().drainOutput(deadline); }

    int sendHex(const Header& h) {
        appendHexHeader(out_, h);
        return flush();
    }

    // Tells the peer we are stopping; best effort, never blocks for long.
    void cancel();

    // The result for a failed read; sends the cancel sequence when we are the one stopping.
    int readFailure(Status s);

    // Ends the session with a code that came from our side (stop, a failed write, a file error).
    int abortWith(int code);

private:
    TransferContext& ctx_;
    ZmodemInput in_;
    Escaper esc_;
    std::vector<uint8_t> out_;
};

inline bool isFatalRead(Status s) {
    return s == Status::Cancelled || s == Status::Stopped || s == Status::Failed;
}

} // namespace seriallib::zmodem
