// Arbitrary bytes as a firmware image file: the check reads the file the upgrade would send, so it
// must agree with the header's own rules byte for byte and never read past the file.
#include "firmware_image_check.h"
#include "fuzz_check.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

using fuzzsupport::check;

namespace {

std::uint32_t le32(const uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// What the check must say about these bytes: the header's markers, model and length, and both sums.
bool shouldAccept(const uint8_t* data, size_t size) {
    if (size < 128 || data[0] != 4 || data[1] != 4 || data[2] > 1 || data[3] != 1 || data[7] != 0 ||
        std::uint64_t(le32(data + 8)) + 128 != size)
        return false;
    std::uint32_t sum = 0, complementSum = 0;
    for (size_t i = 128; i < size; ++i) {
        sum += data[i];
        complementSum += 255u - data[i];
    }
    return sum == le32(data + 12) && complementSum == le32(data + 16);
}

// One in-memory file for every input: the check wants a path.
int imageFd() {
    static const int fd = memfd_create("firmware-image", MFD_CLOEXEC);
    check(fd >= 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = imageFd();
    check(ftruncate(fd, 0) == 0);
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(fd, data + done, size - done, off_t(done));
        check(n > 0);
        done += size_t(n);
    }
    const FirmwareImageCheck r = CheckFirmwareImage("/proc/self/fd/" + std::to_string(fd));

    check(r.exists);
    check(r.size == std::int64_t(size));
    check(r.accepted == shouldAccept(data, size));
    if (size >= 128) {
        check(r.modelCode == data[2] * 256 + data[3]);
        check(r.checksum == le32(data + 16));
    } else {
        check(r.modelCode == 0 && r.checksum == 0);
    }
    if (r.accepted)
        check(r.size >= 128 && (r.modelCode == 0x0001 || r.modelCode == 0x0101));
    return 0;
}
