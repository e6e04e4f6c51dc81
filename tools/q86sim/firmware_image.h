#pragma once
// The firmware the simulated modem takes. An image is a 128-byte header (markers 4 4, the model
// code, the payload length and two payload sums) in front of the payload; the old firmware's
// download is the payload with every byte complemented. The payload opens with a 16-byte tag the
// modem reads to know the firmware's model and length: "Q86F", the model code (high, low), two zero
// bytes, the payload length and the sum of the payload bytes after the tag (both 32-bit, little
// endian).

#include "scenario.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace q86sim {

// 0x0001 for the Q8690I, 0x0101 for the Q8630.
int ModelCode(Model model);

// A well-formed image for model with a payload of payloadSize bytes (at least the 16-byte tag).
std::string MakeFirmwareImage(Model model, std::size_t payloadSize);

enum class FirmwareFit { Fits, OtherModel, Broken };

// A whole image received after "at*upg" (XMODEM padding after it allowed).
FirmwareFit CheckImage(const std::string& received, Model mine);
// A download received after "at+wdwl": the complemented payload of an image (padding allowed).
FirmwareFit CheckDownload(const std::string& received, Model mine);

} // namespace q86sim
