#include "firmware_image_check.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <vector>

namespace {

constexpr std::size_t kHeaderSize = 128;

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

FirmwareImageCheck CheckFirmwareImage(const std::string& path) {
    FirmwareImageCheck result;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        result.exists = errno != ENOENT && errno != ENOTDIR;
        return result;
    }
    result.exists = true;
    // A FIFO or device would block or stir a line; only a regular file can be an image.
    if (!S_ISREG(st.st_mode))
        return result;
    result.size = std::int64_t(st.st_size);

    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, kHeaderSize> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), std::streamsize(header.size())))
        return result;
    result.checksum = le32(&header[16]);
    result.modelCode = std::int32_t(header[2]) * 256 + header[3];

    const std::uint64_t length = le32(&header[8]);
    const bool markers = header[0] == 4 && header[1] == 4;
    const bool model = (header[2] == 0 || header[2] == 1) && header[3] == 1;
    if (!markers || !model || header[7] != 0 || length + kHeaderSize != std::uint64_t(result.size))
        return result;

    std::uint32_t sum = 0;
    std::uint32_t complementSum = 0;
    std::vector<char> block(1024);
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left, block.size()));
        if (!file.read(block.data(), std::streamsize(n)))
            return result;
        for (std::size_t i = 0; i < n; ++i) {
            const auto b = static_cast<unsigned char>(block[i]);
            sum += b;
            complementSum += 255u - b;
        }
        left -= n;
    }
    result.accepted = sum == le32(&header[12]) && complementSum == result.checksum;
    return result;
}
