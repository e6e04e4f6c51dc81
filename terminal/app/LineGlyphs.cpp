#include "LineGlyphs.h"

#include <QColor>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <array>

namespace halvic {

namespace {

// The weight of each arm of a box-drawing character: 0 none, 1 single line, 2 double line.
struct Arms {
    uint8_t up, down, left, right;
};

// 0xB3-0xDA in code-page order.
constexpr std::array<Arms, 0xDA - 0xB3 + 1> kBoxArms = {{
    {1, 1, 0, 0}, {1, 1, 1, 0}, {1, 1, 2, 0}, {2, 2, 1, 0}, {0, 2, 1, 0}, {0, 1, 2, 0}, {2, 2, 2, 0},
    {2, 2, 0, 0}, {0, 2, 2, 0}, {2, 0, 2, 0}, {2, 0, 1, 0}, {1, 0, 2, 0}, {0, 1, 1, 0}, {1, 0, 0, 1},
    {1, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}, {1, 1, 0, 2}, {2, 2, 0, 1},
    {2, 0, 0, 2}, {0, 2, 0, 2}, {2, 0, 2, 2}, {0, 2, 2, 2}, {2, 2, 0, 2}, {0, 0, 2, 2}, {2, 2, 2, 2},
    {1, 0, 2, 2}, {2, 0, 1, 1}, {0, 1, 2, 2}, {0, 2, 1, 1}, {2, 0, 0, 1}, {1, 0, 0, 2}, {0, 1, 0, 2},
    {0, 2, 0, 1}, {2, 2, 1, 1}, {1, 1, 2, 2}, {1, 0, 1, 0}, {0, 1, 0, 1},
}};

// One arm, from the cell's centre line to its edge, as rectangles of the line width. `a` and `b` are
// the perpendicular arms on the two sides of the arm's lines (for a right arm: up and down).
class ArmPainter {
public:
    ArmPainter(QPainter& painter, const QRect& cell, const QColor& colour)
        : painter_(painter), cell_(cell), colour_(colour), line_(std::max(1, cell.width() / 8)),
          gap_(std::max(line_, cell.width() / 5)) {}

    void draw(const Arms& arms) {
        const int cx = cell_.left() + cell_.width() / 2 - line_ / 2;
        const int cy = cell_.top() + cell_.height() / 2 - line_ / 2;
        for (int side : {-1, 1}) {
            const uint8_t left = side < 0 ? arms.left : arms.right, right = side < 0 ? arms.right : arms.left;
            const uint8_t up = side < 0 ? arms.up : arms.down, down = side < 0 ? arms.down : arms.up;
            // Horizontal arm on this side, then the vertical one.
            drawArm(true, left, right, arms.up, arms.down, cx, cy, side,
                    side < 0 ? cell_.left() : cell_.right() + 1);
            drawArm(false, up, down, arms.left, arms.right, cy, cx, side,
                    side < 0 ? cell_.top() : cell_.bottom() + 1);
        }
    }

private:
    // One arm of `weight`, with `opposite` the weight of the arm across the centre and `a`, `b` the
    // weights of the perpendicular arms on the two sides of its lines. `along` is the centre line's
    // place along the arm, `across` across it.
    void drawArm(bool horizontal, uint8_t weight, uint8_t opposite, uint8_t a, uint8_t b, int along,
                 int across, int side, int edge) {
        const int centre = along + (side < 0 ? line_ : 0);
        if (weight == 1) {
            // A single line meets a double one at its near line, crosses it when it goes on across the
            // centre, and reaches the far line of a double line that turns (a corner or a T's end).
            int to = centre;
            if (a == 2 && b == 2 && opposite == 0)
                to = centre + side * gap_;
            else if ((a == 2) != (b == 2))
                to = centre - side * gap_;
            span(horizontal, across, edge, to);
        } else if (weight == 2) {
            span(horizontal, across - gap_, edge, stop(centre, side, a, b));
            span(horizontal, across + gap_, edge, stop(centre, side, b, a));
        }
    }

    // Where one line of a double arm stops: at the near line of a double arm on its own side, at the
    // centre when a single arm meets it, else on to the far line (a corner's outer line).
    int stop(int centre, int side, uint8_t own, uint8_t other) const {
        if (own == 2)
            return centre + side * gap_;
        if (own == 1 || other == 1)
            return centre;
        return centre - side * gap_;
    }

    // A line of the line width at `across`, from `edge` to `to` along the arm.
    void span(bool horizontal, int across, int edge, int to) {
        const int from = std::min(edge, to), length = std::abs(edge - to);
        const QRect r = horizontal ? QRect(from, across, length, line_) : QRect(across, from, line_, length);
        painter_.fillRect(r.intersected(cell_), colour_);
    }

    QPainter& painter_;
    const QRect& cell_;
    const QColor& colour_;
    const int line_;
    const int gap_;
};

} // namespace

void drawLineGlyph(QPainter& painter, uint8_t byte, const QRect& cell, const QColor& colour) {
    if (byte >= 0xB0 && byte <= 0xB2) {
        // Light, medium and dark shade: a quarter, half and three quarters of the cell's pixels.
        static constexpr Qt::BrushStyle kShades[] = {Qt::Dense6Pattern, Qt::Dense4Pattern, Qt::Dense2Pattern};
        painter.fillRect(cell, QBrush(colour, kShades[byte - 0xB0]));
        return;
    }
    if (byte >= 0xB3 && byte <= 0xDA) {
        ArmPainter(painter, cell, colour).draw(kBoxArms[byte - 0xB3]);
        return;
    }
    const int halfWidth = cell.width() / 2, halfHeight = cell.height() / 2;
    switch (byte) {
    case 0xDB:
        painter.fillRect(cell, colour);
        break;
    case 0xDC:
        painter.fillRect(cell.adjusted(0, halfHeight, 0, 0), colour);
        break;
    case 0xDD:
        painter.fillRect(QRect(cell.left(), cell.top(), halfWidth, cell.height()), colour);
        break;
    case 0xDE:
        painter.fillRect(cell.adjusted(halfWidth, 0, 0, 0), colour);
        break;
    case 0xDF:
        painter.fillRect(QRect(cell.left(), cell.top(), cell.width(), halfHeight), colour);
        break;
    default:
        break;
    }
}

} // namespace halvic
