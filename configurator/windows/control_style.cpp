#include "control_style.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace {

QColor standardColour(ControlColour colour) {
    const QPalette app = QApplication::palette();
    switch (colour) {
    case ControlColour::Window:
        return app.color(QPalette::Base);
    case ControlColour::BtnFace:
        return app.color(QPalette::Button);
    case ControlColour::Light3D:
        return app.color(QPalette::Midlight);
    }
    return app.color(QPalette::Base);
}

} // namespace

void SetControlColour(QWidget* w, ControlColour colour) {
    QPalette p = w->palette();
    const QColor c = standardColour(colour);
    const bool field = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w);
    if (field) {
        p.setColor(QPalette::Base, c);
        // A non-editable combo box paints its face with Button, not Base.
        if (qobject_cast<QComboBox*>(w))
            p.setColor(QPalette::Button, c);
    } else {
        p.setColor(QPalette::Window, c);
        w->setAutoFillBackground(true);
    }
    w->setPalette(p);
}

void SetComboEnabled(QWidget* combo, bool enabled) {
    SetControlColour(combo, enabled ? ControlColour::Window : ControlColour::BtnFace);
    combo->setEnabled(enabled);
}

void SetSmsGroupEnabled(QWidget* group, QWidget* number1, QWidget* number2, bool on) {
    group->setEnabled(on);
    SetControlColour(group, on ? ControlColour::BtnFace : ControlColour::Light3D);
    SetControlColour(number1, on ? ControlColour::Window : ControlColour::Light3D);
    SetControlColour(number2, on ? ControlColour::Window : ControlColour::Light3D);
}

void FixSizeAndCentre(QWidget* window) {
    window->adjustSize();
    window->setFixedSize(window->sizeHint());
    if (QScreen* screen = window->screen()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}
