#include "qt_messenger.h"

#include "gui.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

namespace gui {

namespace {

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton runBox(const QString& caption, const QString& text, Icon icon,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton) {
    return callFor<QMessageBox::StandardButton>([&] {
        QMessageBox box(qtIcon(icon), caption, text, buttons, QApplication::activeWindow());
        box.setDefaultButton(defaultButton);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    });
}

} // namespace

void QtMessenger::show(const QString& caption, const QString& text, Icon icon) {
    runBox(caption, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessenger::showPlain(const QString& text) {
    runBox(QGuiApplication::applicationDisplayName(), text, Icon::None, QMessageBox::Ok, QMessageBox::Ok);
}

Answer QtMessenger::ask(const QString& caption, const QString& text, Icon icon) {
    const auto button = runBox(caption, text, icon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return button == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

Answer QtMessenger::confirm(const QString& caption, const QString& text, Icon icon) {
    const auto button = runBox(caption, text, icon, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    return button == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

Answer QtMessenger::askYesNoCancel(const QString& caption, const QString& text, Icon icon) {
    // With a Cancel button QMessageBox makes it the Escape and close-box answer.
    const auto button = runBox(caption, text, icon, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                               QMessageBox::Yes);
    if (button == QMessageBox::Yes)
        return Answer::Yes;
    return button == QMessageBox::No ? Answer::No : Answer::Cancel;
}

} // namespace gui
