// Arbitrary bytes as an option file: the reader must never read past them, and whatever it accepts must
// hold only fields in range and encode back to the bytes it was read from (up to the file's end and the
// zero it forces into each text field's last byte). Each input is tried as it is and once more behind a
// valid header, so that the profile checks are reached without a seed corpus.
#include "option_file_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace terminal;

void check(bool condition) {
    if (!condition)
        std::abort();
}

void readAndCheck(const uint8_t* data, size_t size) {
    const OptionFileDecoding d = decodeOptionFile(std::span<const uint8_t>(data, size));
    if (!d.ok()) {
        check(d.contents.profiles.empty());
        return;
    }
    const size_t count = d.contents.profiles.size();
    check(count >= 1 && count <= MaxProfiles && count == d.storedCount);
    check(size >= optionFileSize(count));
    for (const Profile& p : d.contents.profiles) {
        check(portSettingsValid(p.port) && terminalSettingsValid(p.terminal));
        check(p.port.portName.back() == '\0' && p.transfer.receiveDirectory.back() == '\0');
    }
    const std::vector<uint8_t> again = encodeOptionFile(d.contents);
    check(again.size() == optionFileSize(count));
    std::vector<uint8_t> original(data, data + again.size());
    constexpr size_t Paths = PortSettingsSize + TerminalSettingsSize;
    for (size_t i = 0; i < count; ++i) {
        const size_t p = OptionFileHeaderSize + ProfileSize * i;
        original[p + PortNameSize - 1] = 0;
        for (size_t k = 1; k <= 3; ++k) {
            original[p + Paths + PathFieldSize * k - 1] = 0;
        }
    }
    check(again == original);
    const OptionFileDecoding twice = decodeOptionFile(again);
    check(twice.ok() && twice.contents == d.contents);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readAndCheck(data, size);

    // The input's first byte chooses the stored count (1..4, or 255/256/257 rarely); the rest follows a
    // valid header.
    if (size == 0) {
        return 0;
    }
    static const uint32_t counts[] = {1, 2, 3, 4, 1, 2, 256, 257};
    const uint32_t count = counts[data[0] & 7];
    std::vector<uint8_t> file(OptionFileHeaderSize + size - 1);
    std::memcpy(file.data(), OptionFileMagic.data(), OptionFileMagic.size());
    const uint32_t header[2] = {static_cast<uint32_t>(OptionFileVersion), count};
    for (size_t w = 0; w < 2; ++w) {
        for (size_t b = 0; b < 4; ++b) {
            file[OptionFileMagic.size() + 4 * w + b] = static_cast<uint8_t>(header[w] >> (8 * b));
        }
    }
    std::memcpy(file.data() + OptionFileHeaderSize, data + 1, size - 1);
    readAndCheck(file.data(), file.size());
    return 0;
}
