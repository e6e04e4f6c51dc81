#include "PatternEdits.h"

#include <QKeyEvent>
#include <QTimer>

namespace halvic {

FilteredEdit::FilteredEdit(QString allowed, QWidget* parent)
    : QLineEdit(parent), allowed_(std::move(allowed)) {}

void FilteredEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
    if (printable && !command && !allowed_.contains(text.at(0))) {
        event->accept(); // dropped
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FilteredEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // A tab into the field selects all after this handler: put the caret at the end once it has.
    QTimer::singleShot(0, this, [this] { end(false); });
}

HexEdit::HexEdit(QWidget* parent) : FilteredEdit(QStringLiteral("0123456789abcdefABCDEF"), parent) {}

DigitEdit::DigitEdit(QWidget* parent) : FilteredEdit(QStringLiteral("0123456789"), parent) {}

} // namespace halvic
