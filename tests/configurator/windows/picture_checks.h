#pragma once
// What a picture of a window must show: the whole window, and every text of its labels and buttons
// uncut.

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

inline void expectWholeTextsShown(QWidget& window) {
    const QPixmap picture = window.grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.deviceIndependentSize().toSize(), window.size());
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (label->isVisible() && !label->text().isEmpty() && !label->wordWrap()) {
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
        }
    }
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && !button->text().isEmpty()) {
            EXPECT_LE(button->sizeHint().width(), button->width()) << button->text().toStdString();
        }
    }
}
