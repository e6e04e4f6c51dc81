#pragma once
// The check of a firmware image file before an upgrade: a 128-byte header (markers, model code,
// payload length and two payload sums) in front of the payload.

#include <cstdint>
#include <string>

struct FirmwareImageCheck {
    bool exists = false;        // false: no such file (nothing else was looked at)
    bool accepted = false;      // header and both sums match
    std::int64_t size = 0;      // the file's length in bytes
    std::uint32_t checksum = 0; // header offset 16: the sum of the complemented payload bytes
    std::int32_t modelCode = 0; // header bytes 2 and 3: 0x0001 or 0x0101 in an accepted image
};

// Reads and checks the image at path. A file that cannot be read, or that is no regular file, is
// present but not accepted.
FirmwareImageCheck CheckFirmwareImage(const std::string& path);
