#include "TransparentBitmap.h"

#include <QPainter>

TransparentBitmap::TransparentBitmap(const QImage& image) : image_(image) {}

void TransparentBitmap::Draw(QPainter& painter, int x, int y) const {
    painter.drawImage(x, y, image_);
}

void TransparentBitmap::DrawTransparent(QPainter& painter, int x, int y, QColor colour) const {
    if (image_.isNull()) {
        return;
    }
    const QRgb key = colour.rgb() & RGB_MASK;
    if (keyed_.isNull() || keyedColour_ != key) {
        QImage keyed = image_.convertToFormat(QImage::Format_ARGB32);
        for (int row = 0; row < keyed.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
            for (int column = 0; column < keyed.width(); ++column) {
                if ((line[column] & RGB_MASK) == key) {
                    line[column] = 0;
                }
            }
        }
        keyed_ = keyed;
        keyedColour_ = key;
    }
    painter.drawImage(x, y, keyed_);
}
