// The last request of a waiting XMODEM or YMODEM receiver (NAK or "C") that a port's reader read: a
// receiver started before the transmit asks at once and then only every 10-14 s, so a request the
// reader took just before a transfer took the port is handed back to the port for the sender.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace halvic {

class ReceiverRequest {
public:
    using Clock = std::chrono::steady_clock;
    // A receiver still waiting has asked again within this.
    static constexpr std::chrono::seconds KeptFor{20};

    // A read brought these bytes at `now`: a request counts only as the last thing on the line, and
    // a "C" only on its own (after a line end, another control byte or a request), not ending a word.
    void read(const uint8_t* bytes, size_t size, Clock::time_point now);
    // The request to hand back at `now`, if one is the last thing read and recent enough.
    std::optional<uint8_t> pending(Clock::time_point now) const;
    void clear() { request_.reset(); }

private:
    std::optional<uint8_t> request_;
    Clock::time_point at_{};
    uint8_t last_ = '\n'; // the line's last byte so far: a start counts as a line end
};

} // namespace halvic
