#include "ReceiverRequest.h"

namespace halvic {

namespace {

constexpr uint8_t Nak = 0x15;
constexpr uint8_t CrcRequest = 'C';

bool isRequest(uint8_t c) {
    return c == Nak || c == CrcRequest;
}

} // namespace

void ReceiverRequest::read(const uint8_t* bytes, size_t size, Clock::time_point now) {
    if (size == 0)
        return;
    // The run of requests that ends the read, and the byte before it.
    size_t start = size;
    while (start > 0 && isRequest(bytes[start - 1]))
        --start;
    const uint8_t before = start > 0 ? bytes[start - 1] : last_;
    last_ = bytes[size - 1];
    // A NAK is never text; a "C" is a request only on its own.
    const bool alone = before < 0x20 || before == 0x7f || isRequest(before);
    if (start == size || (bytes[size - 1] == CrcRequest && !alone)) {
        request_.reset();
        return;
    }
    request_ = bytes[size - 1];
    at_ = now;
}

std::optional<uint8_t> ReceiverRequest::pending(Clock::time_point now) const {
    if (!request_ || now - at_ > KeptFor)
        return std::nullopt;
    return request_;
}

} // namespace halvic
