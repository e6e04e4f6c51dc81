#include "burst_channel.h"

#include <algorithm>
#include <cstring>

namespace fuzzsupport {

int BurstChannel::read(uint8_t* buffer, size_t size, seriallib::Clock::time_point) {
    if (burstLeft_ == 0) {
        if (silent_) {
            silent_ = false;
            return 0;
        }
        if (size_ - pos_ < 2)
            return -1;
        burstLeft_ = size_t(data_[pos_]) << 8 | data_[pos_ + 1];
        pos_ += 2;
        if (burstLeft_ == 0)
            return 0; // an empty burst: one silence
        silent_ = true;
    }
    size_t n = std::min({size, burstLeft_, size_ - pos_});
    if (n == 0)
        return -1; // the input ends inside a burst
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    burstLeft_ -= n;
    return static_cast<int>(n);
}

int BurstChannel::write(const uint8_t*, size_t size, seriallib::Clock::time_point) {
    return static_cast<int>(size);
}

seriallib::TransferTimings zeroWaits() {
    seriallib::TransferTimings t;
    t.startWait = t.startInterval = t.responseWait = t.byteGap = t.blockWait = t.quiet = t.writeStall =
        seriallib::milliseconds(0);
    return t;
}

} // namespace fuzzsupport
