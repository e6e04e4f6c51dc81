#include "transfer_context.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace seriallib {
namespace {

// Waits are cut into slices this long so that an abort flag set from another thread is seen soon.
constexpr milliseconds kSlice{20};
// While a transfer waits, the progress callback is asked this often whether to stop.
constexpr milliseconds kAskEvery{50};
constexpr size_t kInBufSize = 8192;

int clampInt(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, INT_MAX));
}

} // namespace

TransferContext::TransferContext(ByteChannel& channel, PortAbort* abort, TransferProgressCallback progress,
                                 TransferTimings timings)
    : channel_(channel), abort_(abort), progress_(std::move(progress)), timings_(timings),
      inBuf_(kInBufSize) {}

int TransferContext::stopCode() {
    if (stop_ == 0 && abort_ && (abort_->transmit.load() || abort_->receive.load()))
        stop_ = TransferErrAborted;
    return stop_;
}

int TransferContext::progress(int64_t done, int64_t total) {
    lastDone_ = clampInt(done);
    lastTotal_ = clampInt(total);
    if (stopCode() != 0)
        return stop_;
    lastAsked_ = Clock::now();
    if (progress_ && progress_(lastDone_, 0, 0, lastTotal_) == -1)
        stop_ = TransferErrUserAbort;
    return stop_;
}

int TransferContext::pollStop() {
    if (stopCode() != 0)
        return stop_;
    if (progress_ && Clock::now() - lastAsked_ >= kAskEvery)
        return progress(lastDone_, lastTotal_);
    return 0;
}

int TransferContext::read(uint8_t* buffer, size_t size, Clock::time_point deadline) {
    if (int s = pollStop())
        return s;
    if (inPos_ == inEnd_) {
        inPos_ = inEnd_ = 0;
        for (;;) {
            auto slice = std::min(deadline, Clock::now() + kSlice);
            int n = channel_.read(inBuf_.data(), inBuf_.size(), slice);
            if (n < 0)
                return TransferErrNotOpen;
            if (n > 0) {
                inEnd_ = static_cast<size_t>(n);
                stats_.bytesIn += static_cast<uint64_t>(n);
                break;
            }
            if (int s = pollStop())
                return s;
            if (Clock::now() >= deadline)
                return ReadTimedOut;
        }
    }
    size_t n = std::min(size, inEnd_ - inPos_);
    std::memcpy(buffer, inBuf_.data() + inPos_, n);
    inPos_ += n;
    return static_cast<int>(n);
}

int TransferContext::readByte(Clock::time_point deadline) {
    if (inPos_ < inEnd_ && stop_ == 0)
        return inBuf_[inPos_++];
    uint8_t b = 0;
    int n = read(&b, 1, deadline);
    return n == 1 ? b : n;
}

int TransferContext::readExact(uint8_t* buffer, size_t size, milliseconds gap) {
    size_t got = 0;
    while (got < size) {
        int n = read(buffer + got, size - got, after(gap));
        if (n < 0)
            return n;
        got += static_cast<size_t>(n);
    }
    return static_cast<int>(got);
}

int TransferContext::write(const uint8_t* buffer, size_t size) {
    size_t sent = 0;
    auto stallLimit = after(timings_.writeStall);
    while (sent < size) {
        if (int s = pollStop())
            return s;
        int n = channel_.write(buffer + sent, size - sent, after(kSlice));
        if (n < 0)
            return TransferErrNotOpen;
        if (n > 0) {
            sent += static_cast<size_t>(n);
            stats_.bytesOut += static_cast<uint64_t>(n);
            stallLimit = after(timings_.writeStall);
        } else if (Clock::now() >= stallLimit) {
            return TransferErrTimeout;
        }
    }
    return 0;
}

void TransferContext::purgeInput() {
    inPos_ = inEnd_ = 0;
    channel_.purgeInput();
}

int TransferContext::waitQuiet(milliseconds silence, Clock::time_point limit) {
    inPos_ = inEnd_ = 0;
    uint8_t scratch[512];
    for (;;) {
        auto until = std::min(limit, after(silence));
        int n = read(scratch, sizeof scratch, until);
        if (n == ReadTimedOut)
            return 0;
        if (n < 0)
            return n;
        if (Clock::now() >= limit)
            return 0;
    }
}

void TransferContext::sendCancel(const uint8_t* bytes, size_t size) {
    auto limit = after(milliseconds(100));
    size_t sent = 0;
    while (sent < size && Clock::now() < limit) {
        int n = channel_.write(bytes + sent, size - sent, limit);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
        stats_.bytesOut += static_cast<uint64_t>(n);
    }
    channel_.drainOutput(limit);
}

} // namespace seriallib
