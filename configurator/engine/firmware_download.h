#pragma once
// The download file of an old-firmware upgrade: the payload of an accepted image with every byte
// complemented, written under the first free name "<n>.dwl" (n = 0..99) in a folder.

#include <cstdint>
#include <string>

// 1: written and its bytes sum to checksum, path set. -1: no image at imagePath. -2: all 100 names
// are taken. -3: the image could not be read whole, the file could not be made or written, or the
// sum differs; nothing is left behind and path is empty. -4: folder is empty or no writable folder.
// imageSize is the image's length as checked (header included).
int WriteDownloadFile(const std::string& imagePath, std::int64_t imageSize, std::uint32_t checksum,
                      const std::string& folder, std::string& path);
