#pragma once
// What the sender fuzzers share: a hostile receiver's replies as a channel that records what the
// sender wrote and what of the replies it was given, and the file to send.

#include "receiver_fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzsupport {

// The replies come as PeerChannel bursts; every write is kept as it was made (a protocol writes a
// block or a header in one call).
class ReplyChannel : public seriallib::ByteChannel {
public:
    ReplyChannel(const uint8_t* data, size_t size) : peer_(data, size, PeerChannel::Bursts) {}
    int read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    int write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    void purgeInput() override {}

    const std::vector<std::vector<uint8_t>>& writes() const { return writes_; }
    // The replies handed to the sender so far.
    const std::vector<uint8_t>& delivered() const { return delivered_; }
    size_t count(uint8_t byte) const;

private:
    PeerChannel peer_;
    std::vector<std::vector<uint8_t>> writes_;
    std::vector<uint8_t> delivered_;
};

// A file of size bytes in a scratch folder kept for the whole run; the same path each time.
std::string sourceFile(size_t size);

// Every wait zero, the leave wait as well.
seriallib::TransferTimings senderWaits();

} // namespace fuzzsupport
