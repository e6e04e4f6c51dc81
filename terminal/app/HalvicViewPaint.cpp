// Painting the screen model and scrolling over its buffer.
#include "HalvicDoc.h"
#include "HalvicView.h"
#include "ReaderThread.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>

namespace halvic {

namespace {

const QColor HistoryText(0x7D, 0x7D, 0x7D);

} // namespace

void CHalvicView::SetViewFont(const TerminalFont& font) {
    font_ = font.toQFont();
    glyphs_.setFont(font_);
    const QFontMetrics metrics(font_);
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    charHeight_ = std::max(1, metrics.height());
    ascent_ = metrics.ascent();
    underlineOffset_ = std::max(1, metrics.descent() - 1);
    ResizeFrameToTerminal();
    RecalcScrollBars(clientWidth_, clientHeight_);
    viewport()->update();
}

QSize CHalvicView::terminalPixelSize() const {
    auto state = doc_.screen->lock();
    const int columns = state->columns() > 0 ? state->columns() : doc_.binding.columns;
    const int lines = state->screenLines() > 0 ? state->screenLines() : doc_.binding.lines;
    return {columns * charWidth_, lines * charHeight_};
}

int CHalvicView::firstVisibleLine() const {
    return verticalScrollBar()->value();
}

int CHalvicView::firstVisibleColumn() const {
    return horizontalScrollBar()->value();
}

QRect CHalvicView::cellRect(int column, int line) const {
    return {(column - firstVisibleColumn()) * charWidth_, (line - firstVisibleLine()) * charHeight_,
            charWidth_, charHeight_};
}

void CHalvicView::RecalcScrollBars(int width, int height) {
    int bufferLines = 0;
    int columns = 0;
    {
        auto state = doc_.screen->lock();
        bufferLines = state->bufferLines();
        columns = state->columns();
    }
    visibleLines_ = height / charHeight_;
    partialLine_ = height % charHeight_ != 0;
    visibleColumns_ = width / charWidth_;
    partialColumn_ = width % charWidth_ != 0;
    QScrollBar* v = verticalScrollBar();
    if (visibleLines_ < bufferLines) {
        v->setRange(0, bufferLines - visibleLines_);
        v->setPageStep(std::max(1, visibleLines_ - (partialLine_ ? 1 : 0)));
    } else {
        v->setRange(0, 0);
    }
    QScrollBar* h = horizontalScrollBar();
    if (visibleColumns_ < columns) {
        h->setRange(0, columns - visibleColumns_);
        h->setPageStep(std::max(1, visibleColumns_ - (partialColumn_ ? 1 : 0)));
    } else {
        h->setRange(0, 0);
    }
    v->setSingleStep(1);
    h->setSingleStep(1);
    viewport()->update();
}

void CHalvicView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    clientWidth_ = viewport()->width();
    clientHeight_ = viewport()->height();
    RecalcScrollBars(clientWidth_, clientHeight_);
}

void CHalvicView::scrollContentsBy(int, int) {
    viewport()->update();
}

void CHalvicView::EnsureVisible(int column, int line) {
    QScrollBar* v = verticalScrollBar();
    if (visibleLines_ > 0) {
        const int first = v->value();
        if (line < first)
            v->setValue(line);
        else if (line > first + visibleLines_ - 1)
            v->setValue(line - visibleLines_ + 1);
    }
    QScrollBar* h = horizontalScrollBar();
    if (visibleColumns_ > 0) {
        const int first = h->value();
        if (column < first)
            h->setValue(column);
        else if (column > first + visibleColumns_ - 1)
            h->setValue(column - visibleColumns_ + 1);
    }
}

void CHalvicView::updateLines(int firstLine, int lastLine) {
    const int top = (firstLine - firstVisibleLine()) * charHeight_;
    const int bottom = (lastLine - firstVisibleLine() + 1) * charHeight_;
    if (bottom <= 0 || top >= viewport()->height())
        return;
    viewport()->update(QRect(0, top, viewport()->width(), bottom - top));
}

void CHalvicView::takeScreenChanges() {
    // While data floods the changes are taken once a frame: the reader keeps writing the model
    // meanwhile and a frame shows them all.
    const QScreen* shown = screen();
    const qreal rate = shown ? std::max<qreal>(1.0, shown->refreshRate()) : 60.0;
    const qint64 frameMs = std::max(1, qRound(1000.0 / rate));
    if (changesTakenAt_.isValid() && changesTakenAt_.elapsed() < frameMs) {
        if (!changesQueued_) {
            changesQueued_ = true;
            QTimer::singleShot(frameMs - changesTakenAt_.elapsed(), Qt::PreciseTimer, this, [this] {
                changesQueued_ = false;
                takeScreenChanges();
            });
        }
        return;
    }
    changesTakenAt_.start();
    if (reader_)
        reader_->changesTaken();
    terminal::Damage damage;
    int screenStart = 0, cursorColumn = 0, cursorLine = 0;
    {
        auto state = doc_.screen->lock();
        damage = state->takeDamage();
        screenStart = state->screenStartLine();
        cursorColumn = state->cursorColumn();
        cursorLine = state->cursorLine();
    }
    keepSelectionOnItsText();
    if (damage.full || damage.scrolled != 0) {
        viewport()->update();
    } else {
        for (int row = 0; row < terminal::MaxScreenLines; ++row)
            if (damage.rows & (1u << row))
                updateLines(screenStart + row, screenStart + row);
    }
    for (int i = 0; i < std::min(damage.bells, 3); ++i)
        QApplication::beep();
    EnsureVisible(cursorColumn, cursorLine);
    const QRect caret = cellRect(cursorColumn, cursorLine);
    if (caret != caretRect_) {
        viewport()->update(caretRect_);
        viewport()->update(caret);
    }
}

void CHalvicView::drawLine(QPainter& painter, int line, int row, int screenStart, const uint8_t* chars,
                           const uint16_t* attrs, int columns) {
    const QColor textColour = line < screenStart ? HistoryText : text_;
    const int y = row * charHeight_;
    const int firstColumn = firstVisibleColumn();
    int start = 0;
    while (start < columns) {
        int end = start + 1;
        while (end < columns && attrs[end] == attrs[start])
            ++end;
        const uint16_t attribute = attrs[start];
        const bool inverted =
            ((attribute & terminal::AttrReverse) != 0) != ((attribute & terminal::AttrSelected) != 0);
        const QColor fg = inverted ? background_ : textColour;
        const QColor bg = inverted ? textColour : background_;
        const int x = (start - firstColumn) * charWidth_;
        const int width = (end - start) * charWidth_;
        painter.fillRect(QRect(x, y, width, charHeight_), bg);
        painter.setPen(fg);
        if (doubleByte_) {
            QStringDecoder decoder("Big5");
            painter.drawText(
                x, y + ascent_,
                decoder.decode(QByteArrayView(reinterpret_cast<const char*>(chars + start), end - start)));
        } else {
            glyphs_.drawRun(painter, chars + start, end - start, QRect(x, y, charWidth_, charHeight_),
                            ascent_);
        }
        if (attribute & terminal::AttrUnderline) {
            const int uy = y + charHeight_ - underlineOffset_;
            painter.drawLine(x, uy, x + width - 1, uy);
        }
        start = end;
    }
}

void CHalvicView::paintEvent(QPaintEvent* event) {
    const QRect area = event->rect();
    const int firstRow = area.top() / charHeight_;
    const int lastRow = (area.bottom() + charHeight_) / charHeight_;
    const int firstLine = firstVisibleLine();
    // The lines to paint are copied under the model's lock; the reader never waits on the drawing.
    terminal::ScreenSnapshot shot;
    doc_.screen->lock()->snapshot(firstLine + firstRow, firstLine + lastRow, shot);
    QPainter painter(viewport());
    painter.setFont(font_);
    for (int row = firstRow; row <= lastRow; ++row) {
        const int line = firstLine + row;
        const auto chars = shot.lineChars(line);
        const auto attrs = shot.lineAttrs(line);
        if (chars.empty() || attrs.empty())
            break;
        drawLine(painter, line, row, shot.screenStart, chars.data(), attrs.data(), shot.columns);
    }
    caretRect_ = cellRect(shot.cursorColumn, shot.cursorLine);
    if (hasFocus() && shot.cursorVisible && shot.bufferLines > 0) {
        const QRect bar(caretRect_.left(), caretRect_.top(), std::max(2, 1), charHeight_);
        painter.fillRect(bar, text_);
    }
}

} // namespace halvic
