// Code page 437's shades, box-drawing lines and blocks (0xB0-0xDF) drawn to the edges of their cell, so
// that boxes and bars join from cell to cell whatever the font's line spacing; a font's own glyphs for
// them leave gaps where its glyph is shorter than the cell.
#pragma once

#include <cstdint>

class QColor;
class QPainter;
class QRect;

namespace halvic {

// True for the bytes drawLineGlyph draws.
inline bool IsLineGlyph(uint8_t byte) {
    return byte >= 0xB0 && byte <= 0xDF;
}

// Draws `byte` filling `cell` in `colour`.
void drawLineGlyph(QPainter& painter, uint8_t byte, const QRect& cell, const QColor& colour);

} // namespace halvic
