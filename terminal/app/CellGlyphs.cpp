#include "CellGlyphs.h"

#include "Cp437.h"
#include "LineGlyphs.h"

#include <QGlyphRun>
#include <QList>
#include <QPainter>
#include <QPointF>

namespace halvic {

void CellGlyphs::setFont(const QFont& font) {
    raw_ = QRawFont::fromFont(font);
    underline_ = font.underline();
    strikeOut_ = font.strikeOut();
    glyphs_.fill(0);
    if (!raw_.isValid())
        return;
    for (int byte = 0x21; byte < 0x100; ++byte) {
        const QChar ch = cp437Char(static_cast<uint8_t>(byte));
        quint32 glyph = 0;
        int count = 1;
        if (raw_.supportsCharacter(ch) && raw_.glyphIndexesForChars(&ch, 1, &glyph, &count) && count == 1)
            glyphs_[static_cast<size_t>(byte)] = glyph;
    }
}

void CellGlyphs::drawRun(QPainter& painter, const uint8_t* cells, int count, const QRect& firstCell,
                         int ascent) const {
    const QPoint origin(firstCell.left(), firstCell.top() + ascent);
    const int pitch = firstCell.width();
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(count);
    positions.reserve(count);
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = cells[i];
        if (byte <= 0x20)
            continue;
        const int x = origin.x() + i * pitch;
        if (IsLineGlyph(byte)) {
            drawLineGlyph(painter, byte, firstCell.translated(i * pitch, 0), painter.pen().color());
            continue;
        }
        const quint32 glyph = glyphs_[byte];
        if (glyph == 0) {
            painter.drawText(x, origin.y(), QString(cp437Char(byte)));
            continue;
        }
        indexes.append(glyph);
        positions.append(QPointF(x, origin.y()));
    }
    if (indexes.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    run.setUnderline(underline_);
    run.setStrikeOut(strikeOut_);
    painter.drawGlyphRun(QPointF(0, 0), run);
}

} // namespace halvic
