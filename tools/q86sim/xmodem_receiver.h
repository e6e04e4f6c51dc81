#pragma once
// Receiving side of XMODEM with the 8-bit checksum: starts the sender with NAK, takes 128-byte
// (SOH) and 1024-byte (STX) blocks, ACKs good ones, NAKs damaged ones, cancels on a lost block.

#include "action.h"

#include <optional>
#include <string>

namespace q86sim {

class XmodemReceiver {
public:
    struct Knobs {
        int nakBlockOnce = -1;  // block number (from 1) NAKed the first time it arrives intact
        int cancelAtBlock = -1; // the receiver cancels when this block arrives
        bool neverStart = false;
        int firstNakMs = 300;
        int nakIntervalMs = 1000;
        int maxStartNaks = 30;
        int blockTimeoutMs = 1000; // a half block left this long is NAKed
    };
    enum class State { Idle, Waiting, Receiving, Done, Failed };

    void start(Millis now, const Knobs& knobs);
    // Returns what the receiver sends in answer (ACK, NAK, CAN), possibly nothing.
    std::string receive(unsigned char byte, Millis now);
    std::string tick(Millis now);
    std::optional<Millis> deadline() const;

    State state() const { return state_; }
    bool finished() const { return state_ == State::Done || state_ == State::Failed; }
    // Payload of every block taken, padding included.
    const std::string& data() const { return data_; }
    int blocks() const { return blocks_; }
    int naks() const { return naks_; }
    const std::string& failure() const { return failure_; }

private:
    std::string fail(std::string why, bool sendCancel);

    Knobs knobs_;
    State state_ = State::Idle;
    std::string block_;
    std::size_t blockSize_ = 0;
    unsigned char expected_ = 1;
    int blocks_ = 0;
    int naks_ = 0;
    int startNaks_ = 0;
    int cans_ = 0;
    bool nakedOnce_ = false;
    Millis nextNak_ = 0;
    Millis lastByte_ = 0;
    std::string data_;
    std::string failure_;
};

} // namespace q86sim
