#include "xmodem_receiver.h"

namespace q86sim {

namespace {
constexpr unsigned char kSoh = 0x01;
constexpr unsigned char kStx = 0x02;
constexpr unsigned char kEot = 0x04;
constexpr unsigned char kAck = 0x06;
constexpr unsigned char kNak = 0x15;
constexpr unsigned char kCan = 0x18;
const std::string kAckText(1, static_cast<char>(kAck));
const std::string kNakText(1, static_cast<char>(kNak));
} // namespace

void XmodemReceiver::start(Millis now, const Knobs& knobs) {
    *this = XmodemReceiver();
    knobs_ = knobs;
    state_ = State::Waiting;
    nextNak_ = now + knobs_.firstNakMs;
    lastByte_ = now;
}

std::string XmodemReceiver::fail(std::string why, bool sendCancel) {
    state_ = State::Failed;
    failure_ = std::move(why);
    block_.clear();
    return sendCancel ? std::string(3, static_cast<char>(kCan)) : std::string();
}

std::string XmodemReceiver::receive(unsigned char byte, Millis now) {
    if (state_ != State::Waiting && state_ != State::Receiving) {
        return {};
    }
    lastByte_ = now;
    if (block_.empty()) {
        switch (byte) {
        case kSoh:
        case kStx:
            state_ = State::Receiving;
            blockSize_ = byte == kSoh ? 128 : 1024;
            block_.push_back(static_cast<char>(byte));
            cans_ = 0;
            return {};
        case kEot:
            if (state_ == State::Receiving) {
                state_ = State::Done;
                return kAckText;
            }
            return {};
        case kCan:
            if (++cans_ >= 2) {
                return fail("cancelled by the sender", false);
            }
            return {};
        default:
            // Line noise between blocks, the echo of the command that started us.
            cans_ = 0;
            return {};
        }
    }
    block_.push_back(static_cast<char>(byte));
    if (block_.size() < blockSize_ + 4) {
        return {};
    }
    const auto number = static_cast<unsigned char>(block_[1]);
    const auto complement = static_cast<unsigned char>(block_[2]);
    unsigned char sum = 0;
    for (std::size_t i = 0; i < blockSize_; ++i) {
        sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(block_[3 + i]));
    }
    const bool intact = static_cast<unsigned char>(number + complement) == 0xFF &&
                        sum == static_cast<unsigned char>(block_[3 + blockSize_]);
    std::string payload = block_.substr(3, blockSize_);
    block_.clear();
    if (!intact) {
        ++naks_;
        return kNakText;
    }
    if (number == static_cast<unsigned char>(expected_ - 1) && blocks_ > 0) {
        return kAckText; // our ACK was lost: the sender repeats the last block
    }
    if (number != expected_) {
        return fail("block " + std::to_string(number) + " out of sequence", true);
    }
    const int index = blocks_ + 1;
    if (index == knobs_.cancelAtBlock) {
        return fail("cancelled at block " + std::to_string(index), true);
    }
    if (index == knobs_.nakBlockOnce && !nakedOnce_) {
        nakedOnce_ = true;
        ++naks_;
        return kNakText;
    }
    data_ += payload;
    ++blocks_;
    ++expected_;
    return kAckText;
}

std::string XmodemReceiver::tick(Millis now) {
    if (state_ == State::Waiting && now >= nextNak_) {
        if (startNaks_ >= knobs_.maxStartNaks) {
            return fail("the sender never started", false);
        }
        ++startNaks_;
        nextNak_ = now + knobs_.nakIntervalMs;
        // A receiver that never starts stays silent for as long as it would have called.
        return knobs_.neverStart ? std::string() : kNakText;
    }
    if (state_ == State::Receiving && !block_.empty() && now - lastByte_ >= knobs_.blockTimeoutMs) {
        block_.clear();
        ++naks_;
        lastByte_ = now;
        return kNakText;
    }
    if (state_ == State::Receiving && block_.empty() && now - lastByte_ >= 10 * knobs_.blockTimeoutMs) {
        return fail("the sender went quiet", true);
    }
    return {};
}

std::optional<Millis> XmodemReceiver::deadline() const {
    if (state_ == State::Waiting) {
        return nextNak_;
    }
    if (state_ == State::Receiving) {
        return lastByte_ + (block_.empty() ? 10 * knobs_.blockTimeoutMs : knobs_.blockTimeoutMs);
    }
    return std::nullopt;
}

} // namespace q86sim
