// The alternate character set: line-drawing and symbol bytes shown as code page 437 glyphs.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

namespace terminal {

// (byte, glyph) pairs; bytes not listed are shown unchanged.
inline constexpr std::array<std::pair<uint8_t, uint8_t>, 19> AltCharsetMap = {{
    {'a', 0xB0}, {'f', 0xF8}, {'g', 0xF1}, {'j', 0xD9}, {'k', 0xBF}, {'l', 0xDA}, {'m', 0xC0},
    {'n', 0xC5}, {'q', 0xC4}, {'t', 0xC3}, {'u', 0xB4}, {'v', 0xC1}, {'w', 0xC2}, {'x', 0xB3},
    {'y', 0xF3}, {'z', 0xF2}, {'{', 0xE3}, {'}', 0x9C}, {'~', 0xFA},
}};

// AltCharsetMap as a lookup table over all 256 bytes.
const std::array<uint8_t, 256>& altCharsetTable();

} // namespace terminal
