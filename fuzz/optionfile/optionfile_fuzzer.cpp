// Arbitrary bytes as an option file: the reader must never read past them, and whatever it accepts must
// hold only fields in range and encode back to the bytes it was read from (up to the file's end and the
// zero it forces into each text field's last byte). Each input is tried as it is and once more as the
// spoiling of a valid file, so that every check is reached without a seed corpus.
#include "fuzz_check.h"
#include "option_file_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using fuzzsupport::check;

namespace {

using namespace terminal;

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

// A valid file of n profiles with default records, to be spoiled by the input.
std::vector<uint8_t> validFile(size_t n) {
    OptionFileContents c;
    c.profiles.resize(n);
    return encodeOptionFile(c);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readAndCheck(data, size);

    // Structured: a valid file with some bytes overwritten and perhaps cut short. Input: count choice,
    // two bytes of offset, a cut (low bit set: cut that many bytes / 2 off the end), then the bytes.
    if (size < 4) {
        return 0;
    }
    static const std::vector<uint8_t> files[] = {validFile(1), validFile(2), validFile(3), validFile(4)};
    const std::vector<uint8_t>& base = files[data[0] & 3];
    std::vector<uint8_t> file = base;
    const size_t offset = (size_t(data[1]) | size_t(data[2]) << 8) % file.size();
    const size_t n = std::min(size - 4, file.size() - offset);
    std::memcpy(file.data() + offset, data + 4, n);
    if (data[3] & 1) {
        file.resize(file.size() - std::min(file.size(), size_t(data[3] >> 1)));
    }
    if (data[0] & 4) {
        file[OptionFileCountOffset] = data[0]; // other counts, 0 and above 256 among them
        file[OptionFileCountOffset + 1] = data[0] >> 7;
    }
    readAndCheck(file.data(), file.size());
    return 0;
}
