#include "HexPatternEdit.h"

#include "Cp437.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace halvic {

CHexPatternEdit::CHexPatternEdit(QWidget* parent) : QWidget(parent) {
    cells_.fill(Blank);
    setObjectName(QStringLiteral("patternLine"));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::IBeamCursor);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    font_ = QFont(QStringLiteral("Courier New"));
    font_.setStyleHint(QFont::TypeWriter);
    font_.setFixedPitch(true);
    font_.setPointSize(9);
    if (!QFontInfo(font_).fixedPitch()) {
        font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font_.setPointSize(9);
    }
    const QFontMetrics metrics(font_);
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
    charHeight_ = std::max(1, metrics.height());
}

QSize CHexPatternEdit::sizeHint() const {
    return {charWidth_ * CellCount + 2, charHeight_ + 2};
}

void CHexPatternEdit::SetContent(const uint8_t* cells, int count) {
    count = std::clamp(count, 0, CellCount);
    cells_.fill(Blank);
    if (count > 0)
        std::memcpy(cells_.data(), cells, size_t(count));
    count_ = count;
    update();
}

int CHexPatternEdit::GetContent(uint8_t* cells) const {
    std::memcpy(cells, cells_.data(), CellCount);
    return count_;
}

void CHexPatternEdit::setActive(bool active) {
    active_ = active;
    update();
}

void CHexPatternEdit::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    painter.fillRect(rect(), active_ ? pal.color(QPalette::Base) : pal.color(QPalette::Button));
    painter.setPen(active_ ? pal.color(QPalette::Text) : pal.color(QPalette::Disabled, QPalette::Text));
    painter.setFont(font_);
    const int ascent = QFontMetrics(font_).ascent();
    for (int i = 0; i < CellCount; ++i)
        painter.drawText(i * charWidth_, ascent, QString(cp437Glyph(cells_[size_t(i)])));
    if (hasFocus())
        painter.fillRect(caret_ * charWidth_, 0, 2, charHeight_, pal.color(QPalette::Text));
}

void CHexPatternEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->ignore(); // the dialog's keys
        return;
    case Qt::Key_End:
        caret_ = count_;
        break;
    case Qt::Key_Home:
        caret_ = 0;
        break;
    case Qt::Key_Left:
        if (caret_ > 1)
            caret_ -= 2;
        break;
    case Qt::Key_Right:
        if (caret_ <= count_ - 2 && caret_ <= CellCount - 2)
            caret_ += 2;
        break;
    case Qt::Key_Delete:
        if (caret_ != CellCount && caret_ != count_) {
            removePairAt(caret_);
            changed();
        }
        break;
    case Qt::Key_Backspace:
        backspace();
        break;
    default: {
        int c = -1;
        // Control characters from Ctrl+letter, whatever text the platform attaches.
        if ((event->modifiers() & Qt::ControlModifier) && event->key() >= Qt::Key_A &&
            event->key() <= Qt::Key_Z)
            c = event->key() - Qt::Key_A + 1;
        else if (!event->text().isEmpty() && event->text().at(0).unicode() < 256)
            c = event->text().at(0).unicode();
        if (c < 0) {
            QWidget::keyPressEvent(event);
            return;
        }
        typeChar(uint8_t(c));
        break;
    }
    }
    update();
    event->accept();
}

void CHexPatternEdit::typeChar(uint8_t c) {
    if (caret_ >= CellCount)
        return;
    if (caret_ != count_ && caret_ != CellCount - 2)
        std::memmove(cells_.data() + caret_ + 2, cells_.data() + caret_, size_t(CellCount - caret_ - 2));
    cells_[size_t(caret_)] = Blank;
    cells_[size_t(caret_) + 1] = c;
    count_ = std::min(count_ + 2, CellCount);
    caret_ = std::min(caret_ + 2, CellCount);
    changed();
}

void CHexPatternEdit::backspace() {
    if (caret_ > 0) {
        removePairAt(caret_ - 2);
        caret_ -= 2;
    }
    changed();
}

void CHexPatternEdit::removePairAt(int cell) {
    std::memmove(cells_.data() + cell, cells_.data() + cell + 2, size_t(CellCount - cell - 2));
    cells_[CellCount - 2] = Blank;
    cells_[CellCount - 1] = Blank;
    count_ = std::max(count_ - 2, 0);
}

void CHexPatternEdit::changed() {
    update();
    emit patternChanged();
}

void CHexPatternEdit::mousePressEvent(QMouseEvent* event) {
    if (active_)
        setFocus(Qt::MouseFocusReason);
    const int cell = std::min(int(event->position().x()) / charWidth_, count_);
    caret_ = cell & ~1;
    update();
}

void CHexPatternEdit::focusInEvent(QFocusEvent* event) {
    caret_ = count_;
    QWidget::focusInEvent(event);
    update();
}

void CHexPatternEdit::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace halvic
