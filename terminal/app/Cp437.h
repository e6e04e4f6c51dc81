// The screen's 8-bit cells are shown as code page 437 glyphs (the alternate character set produces
// that code page's line-drawing bytes).
#pragma once

#include <QChar>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace halvic {

QChar cp437Char(uint8_t byte);
// As cp437Char, but control bytes show as the code page's glyphs (0x03 as a heart).
QChar cp437Glyph(uint8_t byte);
// Control bytes 0x00-0x1F keep their own code points, so copied text keeps its CR LF.
QString cp437Text(const char* bytes, size_t length);

} // namespace halvic
