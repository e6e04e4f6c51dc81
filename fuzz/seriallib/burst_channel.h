#pragma once
// The peer's bytes for the block-protocol fuzzers, as a line delivers them: bursts with silence
// between. The input is a series of bursts, each a two-byte length (high byte first) and that
// many bytes; after each burst a read finds nothing, which with zero waits is a time-out. What the
// receiver writes is swallowed; once the input is used up the channel fails (the peer hung up).

#include "byte_channel.h"
#include "transfer_context.h"

#include <cstddef>
#include <cstdint>

namespace fuzzsupport {

class BurstChannel : public seriallib::ByteChannel {
public:
    BurstChannel(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    int write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    void purgeInput() override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t burstLeft_ = 0;
    bool silent_ = false; // the silence after a burst is still to be reported
};

// Every wait zero, so that a silence costs nothing; the retry counts as on a real line.
seriallib::TransferTimings zeroWaits();

} // namespace fuzzsupport
