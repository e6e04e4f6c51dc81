#include "qt_messenger.h"

#include "gui.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSpacerItem>

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

// A message box sizes itself to its text only: a short text under a long caption would have the
// caption cut. A spacer across the bottom row holds the box as wide as the caption plus the title
// bar's buttons.
void keepCaptionWhole(QMessageBox& box, const QString& caption) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    constexpr int TitleBarButtons = 160;
    const int width = box.fontMetrics().horizontalAdvance(caption) + TitleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

QMessageBox::StandardButton runBox(const QString& caption, const QString& text, Icon icon,
                                   QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton) {
    return callFor<QMessageBox::StandardButton>([&] {
        QMessageBox box(qtIcon(icon), caption, text, buttons, QApplication::activeWindow());
        box.setDefaultButton(defaultButton);
        keepCaptionWhole(box, caption);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    });
}

} // namespace

void QtMessenger::show(const QString& caption, const QString& text, Icon icon) {
    runBox(caption, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

void QtMessenger::showPlain(const QString& text) {
    runBox(plainCaption_.isEmpty() ? QGuiApplication::applicationDisplayName() : plainCaption_, text,
           Icon::None, QMessageBox::Ok, QMessageBox::Ok);
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
