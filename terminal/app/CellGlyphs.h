// Draws runs of 8-bit cells in the terminal font, one glyph run per call, every glyph on its cell of
// the fixed pitch; a character the font lacks is drawn on its own through the font's fall-backs.
#pragma once

#include <QFont>
#include <QRawFont>

#include <array>
#include <cstdint>

class QPainter;

namespace halvic {

class CellGlyphs {
public:
    void setFont(const QFont& font);
    // Draws `count` cells from `firstCell` on, each as wide as it, with the baseline `ascent` below its
    // top; blanks and control bytes draw nothing, shades, lines and blocks fill their cells. The
    // painter's pen and font are used.
    void drawRun(QPainter& painter, const uint8_t* cells, int count, const QRect& firstCell,
                 int ascent) const;

private:
    QRawFont raw_;
    std::array<quint32, 256> glyphs_{}; // 0: not in the font
    bool underline_ = false;
    bool strikeOut_ = false;
};

} // namespace halvic
