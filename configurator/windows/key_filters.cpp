#include "key_filters.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace {

enum class KeyKind { Backspace, Delete, Character, Other };

KeyKind kindOf(const QKeyEvent* key) {
    if (key->key() == Qt::Key_Backspace)
        return KeyKind::Backspace;
    if (key->key() == Qt::Key_Delete)
        return KeyKind::Delete;
    const QString text = key->text();
    // Control characters (shortcuts such as copy and paste) are no typed characters.
    if (!text.isEmpty() && text.at(0).isPrint())
        return KeyKind::Character;
    return KeyKind::Other;
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Where the selection starts, or the caret when nothing is selected.
int caretStart(const QLineEdit* edit) {
    return edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
}

} // namespace

DigitKeyFilter::DigitKeyFilter(QLineEdit* edit) : QObject(edit) {
    edit->installEventFilter(this);
}

bool DigitKeyFilter::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (kindOf(key) != KeyKind::Character)
        return false;
    const QString text = key->text();
    return !(text.size() == 1 && isDigit(text.at(0)));
}

PhoneKeyFilter::PhoneKeyFilter(QLineEdit* edit, int maxTyped) : QObject(edit), maxTyped_(maxTyped) {
    edit->installEventFilter(this);
}

bool PhoneKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* edit = static_cast<QLineEdit*>(watched);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString current = edit->text();
    const int caret = caretStart(edit);
    switch (kindOf(key)) {
    case KeyKind::Backspace:
        return current.startsWith(QLatin1Char('+')) && caret == 1;
    case KeyKind::Delete:
        return caret == 0;
    case KeyKind::Other:
        return false;
    case KeyKind::Character:
        break;
    }
    const QString text = key->text();
    if (text.size() != 1)
        return true;
    const int kept = int(current.size() - edit->selectedText().size());
    if (kept >= maxTyped_)
        return true;
    const QChar c = text.at(0);
    if (isDigit(c))
        return false;
    if (c == QLatin1Char('+'))
        return current.contains(QLatin1Char('+')) || caret != 0;
    return true;
}
