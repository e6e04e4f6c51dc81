#include "screen_dump.h"

#include <algorithm>
#include <cstdio>

namespace termreplay {

std::string dumpScreen(const terminal::ScreenState& screen) {
    std::string out;
    for (int r = 0; r < screen.screenLines(); ++r) {
        const auto chars = screen.rowChars(r);
        size_t end = chars.size();
        while (end > 0 && chars[end - 1] == ' ')
            --end;
        out.append(reinterpret_cast<const char*>(chars.data()), end);
        out.push_back('\n');
    }
    out +=
        "cursor " + std::to_string(screen.cursorRow()) + " " + std::to_string(screen.cursorColumn()) + "\n";
    for (int r = 0; r < screen.screenLines(); ++r) {
        const auto attrs = screen.rowAttrs(r);
        if (std::none_of(attrs.begin(), attrs.end(), [](uint16_t a) { return (a & 0xFF00) != 0; }))
            continue;
        out += "attr " + std::to_string(r);
        for (uint16_t a : attrs) {
            char hex[8];
            std::snprintf(hex, sizeof hex, " %04x", a);
            out += hex;
        }
        out.push_back('\n');
    }
    return out;
}

} // namespace termreplay
