#include "xmodem_block.h"

#include "crc.h"

#include <algorithm>

namespace seriallib::xmodem {

std::vector<uint8_t> frameBlock(uint8_t number, const uint8_t* data, size_t size, size_t blockSize, bool crc,
                                uint8_t pad) {
    std::vector<uint8_t> frame;
    frame.reserve(3 + blockSize + 2);
    frame.push_back(blockSize == kLargeBlock ? STX : SOH);
    frame.push_back(number);
    frame.push_back(static_cast<uint8_t>(~number));
    size = std::min(size, blockSize);
    frame.insert(frame.end(), data, data + size);
    frame.resize(3 + blockSize, pad);
    const uint8_t* body = frame.data() + 3;
    if (crc) {
        uint16_t c = wire::crc16(body, blockSize);
        frame.push_back(static_cast<uint8_t>(c >> 8));
        frame.push_back(static_cast<uint8_t>(c));
    } else {
        uint8_t sum = 0;
        for (size_t i = 0; i < blockSize; ++i)
            sum = static_cast<uint8_t>(sum + body[i]);
        frame.push_back(sum);
    }
    return frame;
}

bool checkMatches(const uint8_t* data, size_t size, const uint8_t* check, bool crc) {
    if (crc) {
        uint16_t c = wire::crc16(data, size);
        return check[0] == static_cast<uint8_t>(c >> 8) && check[1] == static_cast<uint8_t>(c);
    }
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return check[0] == sum;
}

const std::vector<uint8_t>& cancelSequence() {
    static const std::vector<uint8_t> sequence(8, CAN);
    return sequence;
}

std::vector<uint8_t> batchHeader(const std::string& name, uint64_t size) {
    std::vector<uint8_t> data(name.begin(), name.end());
    if (name.empty())
        return data;
    data.push_back(0);
    std::string sizeText = std::to_string(size);
    data.insert(data.end(), sizeText.begin(), sizeText.end());
    return data;
}

BatchEntry parseBatchHeader(const uint8_t* data, size_t size) {
    BatchEntry entry;
    size_t end = std::find(data, data + size, 0) - data;
    entry.name.assign(reinterpret_cast<const char*>(data), end);
    size_t i = end + 1;
    uint64_t value = 0;
    bool digits = false;
    while (i < size && data[i] >= '0' && data[i] <= '9' && value < (UINT64_MAX - 9) / 10) {
        value = value * 10 + (data[i] - '0');
        digits = true;
        ++i;
    }
    entry.sizeKnown = digits;
    entry.size = value;
    return entry;
}

} // namespace seriallib::xmodem
