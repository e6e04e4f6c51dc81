#include "firmware_image.h"

#include <optional>

namespace q86sim {

namespace {

constexpr std::size_t kHeader = 128;
constexpr std::size_t kTag = 16;

uint32_t le32(const std::string& d, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
    return v;
}

void put32(std::string& d, std::size_t at, uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        d[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The model a payload's tag names, when the tag and the sum behind it hold.
std::optional<int> payloadModel(const std::string& payload) {
    if (payload.size() < kTag || payload.compare(0, 4, "Q86F") != 0 || payload[6] != 0 || payload[7] != 0)
        return std::nullopt;
    const uint64_t length = le32(payload, 8);
    if (length < kTag || length > payload.size())
        return std::nullopt;
    uint32_t sum = 0;
    for (std::size_t i = kTag; i < length; ++i)
        sum += static_cast<unsigned char>(payload[i]);
    if (sum != le32(payload, 12))
        return std::nullopt;
    return static_cast<unsigned char>(payload[4]) * 256 + static_cast<unsigned char>(payload[5]);
}

} // namespace

int ModelCode(Model model) {
    return model == Model::Q8690I ? 0x0001 : 0x0101;
}

std::string MakeFirmwareImage(Model model, std::size_t payloadSize) {
    const std::size_t n = payloadSize < kTag ? kTag : payloadSize;
    std::string d(kHeader + n, '\0');
    const int code = ModelCode(model);
    d[0] = d[1] = 4;
    d[2] = static_cast<char>(code >> 8);
    d[3] = static_cast<char>(code & 0xFF);
    std::string payload(n, '\0');
    payload.replace(0, 4, "Q86F");
    payload[4] = d[2];
    payload[5] = d[3];
    uint32_t body = 0;
    for (std::size_t i = kTag; i < n; ++i) {
        payload[i] = static_cast<char>((i * 131 + (i >> 8)) & 0xFF);
        body += static_cast<unsigned char>(payload[i]);
    }
    put32(payload, 8, static_cast<uint32_t>(n));
    put32(payload, 12, body);
    uint32_t sum = 0;
    uint32_t complement = 0;
    for (char c : payload) {
        sum += static_cast<unsigned char>(c);
        complement += 255u - static_cast<unsigned char>(c);
    }
    put32(d, 8, static_cast<uint32_t>(n));
    put32(d, 12, sum);
    put32(d, 16, complement);
    d.replace(kHeader, n, payload);
    return d;
}

FirmwareFit CheckImage(const std::string& d, Model mine) {
    if (d.size() < kHeader || d[0] != 4 || d[1] != 4)
        return FirmwareFit::Broken;
    const int model = static_cast<unsigned char>(d[2]) * 256 + static_cast<unsigned char>(d[3]);
    if (model != ModelCode(mine))
        return FirmwareFit::OtherModel;
    const uint64_t length = le32(d, 8);
    if (kHeader + length > d.size())
        return FirmwareFit::Broken;
    uint32_t sum = 0;
    uint32_t complement = 0;
    for (std::size_t i = kHeader; i < kHeader + length; ++i) {
        const auto b = static_cast<unsigned char>(d[i]);
        sum += b;
        complement += 255u - b;
    }
    return sum == le32(d, 12) && complement == le32(d, 16) ? FirmwareFit::Fits : FirmwareFit::Broken;
}

FirmwareFit CheckDownload(const std::string& received, Model mine) {
    std::string payload = received;
    for (char& c : payload)
        c = static_cast<char>(~static_cast<unsigned char>(c));
    const std::optional<int> model = payloadModel(payload);
    if (!model)
        return FirmwareFit::Broken;
    return *model == ModelCode(mine) ? FirmwareFit::Fits : FirmwareFit::OtherModel;
}

} // namespace q86sim
