// A picture that can draw itself with one colour left out, so what lies below shows through there.
#pragma once

#include <QColor>
#include <QImage>

class QPainter;

class TransparentBitmap {
public:
    TransparentBitmap() = default;
    explicit TransparentBitmap(const QImage& image);
    virtual ~TransparentBitmap() = default;

    bool isNull() const { return image_.isNull(); }
    QSize size() const { return image_.size(); }
    const QImage& image() const { return image_; }

    // The whole picture at (x, y).
    virtual void Draw(QPainter& painter, int x, int y) const;
    // The picture at (x, y) without the pixels of the given colour.
    virtual void DrawTransparent(QPainter& painter, int x, int y, QColor colour) const;

private:
    QImage image_;
    // The picture with the last colour asked for made transparent.
    mutable QImage keyed_;
    mutable QRgb keyedColour_ = 0;
};
