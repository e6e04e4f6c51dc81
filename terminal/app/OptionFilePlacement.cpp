#include "OptionFilePlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr uint32_t ShowNormal = 1;
constexpr uint32_t ShowMinimised = 2;
constexpr uint32_t ShowMaximised = 3;

// A stored rectangle may come from another screen or be nonsense: keep it inside the available area.
QRect onScreen(QRect r) {
    const QScreen* screen = QGuiApplication::screenAt(r.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return r;
    }
    const QRect area = screen->availableGeometry();
    r.setWidth(std::clamp(r.width(), 100, std::max(100, area.width())));
    r.setHeight(std::clamp(r.height(), 80, std::max(80, area.height())));
    r.moveLeft(std::clamp(r.left(), area.left(), std::max(area.left(), area.right() + 1 - r.width())));
    r.moveTop(std::clamp(r.top(), area.top(), std::max(area.top(), area.bottom() + 1 - r.height())));
    return r;
}

} // namespace

terminal::WindowPlacement windowPlacementOf(const QWidget& window) {
    terminal::WindowPlacement p;
    p.showCmd = window.isMaximized() ? ShowMaximised : window.isMinimized() ? ShowMinimised : ShowNormal;
    QRect normal = window.normalGeometry();
    if (!normal.isValid()) {
        normal = window.geometry();
    }
    p.normalLeft = normal.left();
    p.normalTop = normal.top();
    p.normalRight = normal.left() + normal.width();
    p.normalBottom = normal.top() + normal.height();
    return p;
}

void applyWindowPlacement(QWidget& window, const terminal::WindowPlacement& p) {
    const int64_t width = int64_t(p.normalRight) - p.normalLeft;
    const int64_t height = int64_t(p.normalBottom) - p.normalTop;
    constexpr int32_t Far = 1 << 24;
    const bool sane = width > 0 && height > 0 && width <= 1 << 16 && height <= 1 << 16 &&
                      p.normalLeft > -Far && p.normalLeft < Far && p.normalTop > -Far && p.normalTop < Far;
    if (sane) {
        window.setGeometry(onScreen(QRect(p.normalLeft, p.normalTop, int(width), int(height))));
    }
    switch (p.showCmd) {
    case ShowMaximised:
        window.showMaximized();
        break;
    case ShowMinimised:
        window.showMinimized();
        break;
    default:
        window.showNormal();
        break;
    }
    window.update();
}
