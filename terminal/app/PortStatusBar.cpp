#include "PortStatusBar.h"

#include <qdrawutil.h>
#include <QEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QSizeGrip>

#include <algorithm>

namespace {

constexpr int LampPictureWidth = 14;
constexpr int LampPictureHeight = 13;
constexpr int PaneGap = 2;   // between two panes
constexpr int TopMargin = 2; // above the panes
constexpr int TextMargin = 2;
const QColor Transparent = QColor(0xFF, 0xFF, 0xFF);
const QColor DisabledText = QColor(0x80, 0x80, 0x80);

// A 14 x 13 lamp picture on white: the lamp (red when on, grey when off) above the line's name.
QImage lampPicture(const char* name, bool on) {
    QImage image(LampPictureWidth, LampPictureHeight, QImage::Format_RGB32);
    image.fill(Transparent);
    QPainter p(&image);
    // Hard edges only: a blended edge would leave a light fringe where white is left out.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(on ? QColor(0x80, 0, 0) : QColor(0x40, 0x40, 0x40));
    p.setBrush(on ? QColor(0xFF, 0, 0) : QColor(0xA0, 0xA0, 0xA0));
    p.drawEllipse(QRect(4, 0, 5, 4));
    QFont f;
    f.setPixelSize(6);
    f.setStyleStrategy(QFont::NoAntialias);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRect(0, 6, LampPictureWidth, LampPictureHeight - 6), Qt::AlignHCenter | Qt::AlignBottom,
               QString::fromLatin1(name));
    return image;
}

QString shownText(const QString& text) {
    QString t = text;
    t.remove(QLatin1Char('\r'));
    t.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return t.trimmed();
}

} // namespace

PortStatusBar::PortStatusBar(QWidget* parent) : QStatusBar(parent) {
    font_.setPixelSize(8);
    font_.setWeight(QFont::Normal);
    font_.setStyleHint(QFont::SansSerif);
    static const char* const names[] = {"CTS", "DSR", "RI", "DCD"};
    for (int lamp = 0; lamp < 4; ++lamp) {
        lampBitmaps_[lamp][0] = TransparentBitmap(lampPicture(names[lamp], false));
        lampBitmaps_[lamp][1] = TransparentBitmap(lampPicture(names[lamp], true));
    }
    const QPalette pal = palette();
    for (PaneState& pane : panes_) {
        pane.style.fill = pal.color(QPalette::Button);
        pane.style.back = pal.color(QPalette::Button);
        pane.style.text = pal.color(QPalette::ButtonText);
        pane.style.font = font_;
    }
    panes_[StatePane].text = QStringLiteral("State:CLOSE");
    setSizeGripEnabled(true);
    layoutPanes();
}

int PortStatusBar::paneIndex(int id) {
    const auto it = std::find(PaneIds.begin(), PaneIds.end(), id);
    return it == PaneIds.end() ? -1 : static_cast<int>(it - PaneIds.begin());
}

int PortStatusBar::contentHeight() const {
    return std::max(LampPictureHeight + 2, QFontMetrics(font_).height() + 2);
}

QSize PortStatusBar::sizeHint() const {
    return QSize(QStatusBar::sizeHint().width(), contentHeight() + 2 + TopMargin + 1);
}

QSize PortStatusBar::minimumSizeHint() const {
    return QSize(0, sizeHint().height());
}

void PortStatusBar::SetLineIndicators(int lineStatus) {
    for (int lamp = 0; lamp < 4; ++lamp) {
        const bool on = (lineStatus >> lamp) & 1;
        if (on != lamps_[lamp]) {
            lamps_[lamp] = on;
            update(panes_[CtsPane + lamp].rect);
        }
    }
}

void PortStatusBar::SetStatusPane(const QString& text) {
    PaneStyle& style = panes_[MessagePane].style;
    // Only the normal colours are saved: a second notice must not save the highlight as "normal".
    if (!highlighted_) {
        style.savedBack = style.back;
        style.savedText = style.text;
        style.saved = true;
    }
    style.back = palette().color(QPalette::Highlight);
    style.text = palette().color(QPalette::HighlightedText);
    highlighted_ = true;
    highlightedText_ = text;
    setPaneText(MessagePane, text);
    repaint(panes_[MessagePane].rect);
}

void PortStatusBar::restoreMessageColours() {
    PaneStyle& style = panes_[MessagePane].style;
    if (style.saved) {
        style.back = style.savedBack;
        style.text = style.savedText;
        style.saved = false;
    }
    highlighted_ = false;
}

void PortStatusBar::setPaneText(int pane, const QString& text) {
    if (pane == MessagePane && highlighted_ && text != highlightedText_) {
        restoreMessageColours();
    }
    if (panes_[pane].text != text) {
        panes_[pane].text = text;
        if (pane == StatePane) {
            layoutPanes();
            update();
        }
    }
    update(panes_[pane].rect);
}

void PortStatusBar::setPaneEnabled(int pane, bool enabled) {
    if (panes_[pane].enabled != enabled) {
        panes_[pane].enabled = enabled;
        update(panes_[pane].rect);
    }
}

void PortStatusBar::setOwnMaximised(bool maximised) {
    ownMaximised_ = maximised;
    setSizeGripEnabled(!maximised);
    layoutPanes();
    update();
}

bool PortStatusBar::sizeGripShown() const {
    const QSizeGrip* grip = findChild<QSizeGrip*>();
    return grip && grip->isVisibleTo(window()) && isSizeGripEnabled();
}

void PortStatusBar::layoutPanes() {
    const int height = contentHeight() + 2;
    const QFontMetrics metrics(panes_[StatePane].style.font);
    const int stateWidth = std::max(metrics.horizontalAdvance(QStringLiteral("State:CLOSE")),
                                    metrics.horizontalAdvance(shownText(panes_[StatePane].text))) +
                           2 * TextMargin + 2;
    int x = 0;
    auto place = [&](int pane, int width) {
        panes_[pane].rect = QRect(x, TopMargin, width, height);
        x += width + PaneGap;
    };
    place(StatePane, stateWidth);
    for (int pane = CtsPane; pane <= DcdPane; ++pane) {
        place(pane, LampWidth + 2);
    }
    const QSizeGrip* grip = findChild<QSizeGrip*>();
    const int right = width() - (grip && isSizeGripEnabled() ? grip->width() : 0);
    place(MessagePane, std::max(0, right - x));
}

void PortStatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    layoutPanes();
}

void PortStatusBar::changeEvent(QEvent* event) {
    QStatusBar::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        layoutPanes();
    }
}

void PortStatusBar::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Button));
    for (int pane = 0; pane < PaneCount; ++pane) {
        if (panes_[pane].rect.intersects(event->rect())) {
            paintPane(painter, pane);
        }
    }
}

void PortStatusBar::paintPane(QPainter& painter, int pane) {
    const PaneState& state = panes_[pane];
    const PaneStyle& style = state.style;
    const QRect outer = state.rect;
    if (outer.width() <= 2 || outer.height() <= 2) {
        return;
    }
    // Sunken: shadow on top and left, light on bottom and right.
    qDrawShadePanel(&painter, outer, palette(), /*sunken=*/true, 1);
    const QRect inner = outer.adjusted(1, 1, -1, -1);
    painter.save();
    painter.setClipRect(inner);
    painter.fillRect(inner, palette().color(QPalette::Button));
    if (style.fillFlag) {
        painter.fillRect(inner, style.fill);
    }
    if (pane == StatePane || pane == MessagePane) {
        const QString text = shownText(state.text);
        painter.setFont(style.font);
        const QRect box = inner.adjusted(TextMargin, 0, -TextMargin, 0);
        if (!text.isEmpty()) {
            const QRect used = painter.boundingRect(box, Qt::AlignLeft | Qt::AlignVCenter, text) & inner;
            painter.fillRect(used, style.back);
        }
        painter.setPen(state.enabled ? style.text : DisabledText);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
    } else if (state.enabled) {
        const TransparentBitmap& bitmap = lampBitmaps_[pane - CtsPane][lamps_[pane - CtsPane] ? 1 : 0];
        bitmap.DrawTransparent(painter, inner.left() + 2, inner.top() + 1, Transparent);
    }
    painter.restore();
}
