#include "TransparentBitmap.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// 3 x 3: a red cross on white.
QImage cross() {
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int i = 0; i < 3; ++i) {
        image.setPixel(1, i, qRgb(255, 0, 0));
        image.setPixel(i, 1, qRgb(255, 0, 0));
    }
    return image;
}

QImage blue() {
    QImage target(5, 5, QImage::Format_RGB32);
    target.fill(Qt::blue);
    return target;
}

TEST(TransparentBitmap, LeavesTheKeyColourOutAndNothingElse) {
    const TransparentBitmap bitmap(cross());
    QImage target = blue();
    {
        QPainter p(&target);
        bitmap.DrawTransparent(p, 1, 1, QColor(255, 255, 255));
    }
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
            const bool inCross = (x == 2 && y >= 1 && y <= 3) || (y == 2 && x >= 1 && x <= 3);
            EXPECT_EQ(target.pixel(x, y), inCross ? qRgb(255, 0, 0) : qRgb(0, 0, 255)) << x << "," << y;
        }
    }
}

TEST(TransparentBitmap, DrawCopiesEveryPixelAndAnotherKeyIsHonoured) {
    const TransparentBitmap bitmap(cross());
    QImage target = blue();
    {
        QPainter p(&target);
        bitmap.DrawTransparent(p, 0, 0, Qt::white); // fills the cache with the white key
        bitmap.Draw(p, 2, 2);
        bitmap.DrawTransparent(p, 0, 2, QColor(255, 0, 0)); // now red is left out
    }
    EXPECT_EQ(target.pixel(2, 2), qRgb(255, 255, 255)) << "Draw keeps white";
    EXPECT_EQ(target.pixel(4, 4), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(0, 2), qRgb(255, 255, 255)) << "white drawn where red is the key";
    EXPECT_EQ(target.pixel(1, 3), qRgb(0, 0, 255)) << "the red centre of the second cross is left out";
}

} // namespace
