#include "alt_charset.h"

namespace terminal {

const std::array<uint8_t, 256>& altCharsetTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[b] = static_cast<uint8_t>(b);
        for (const auto& [byte, glyph] : AltCharsetMap)
            t[byte] = glyph;
        return t;
    }();
    return table;
}

} // namespace terminal
