#include "KeyInput.h"

#include "Cp437.h"

#include <QKeyEvent>

namespace halvic {

int VirtualKeyOf(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_PageUp:
        return 0x21;
    case Qt::Key_PageDown:
        return 0x22;
    case Qt::Key_Home:
        return 0x24;
    case Qt::Key_End:
        return 0x23;
    case Qt::Key_Insert:
        return 0x2D;
    default:
        break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F10)
        return 0x70 + (qtKey - Qt::Key_F1);
    return 0;
}

namespace {

// The 8-bit character of a typed character: ASCII as it is, others through code page 437.
int byteOf(QChar c) {
    if (c.unicode() < 0x80)
        return c.unicode();
    for (int b = 0x80; b < 0x100; ++b)
        if (cp437Char(static_cast<uint8_t>(b)) == c)
            return b;
    return -1;
}

} // namespace

QByteArray CharacterBytesOf(const QKeyEvent& event) {
    const int key = event.key();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QByteArray(1, '\r');
    case Qt::Key_Backspace:
        return QByteArray(1, '\b');
    case Qt::Key_Tab:
        return QByteArray(1, '\t');
    case Qt::Key_Escape:
        return QByteArray(1, '\x1b');
    // Keys no description names: the strings Linux programs know them by, as the installed terminfo
    // entries say.
    case Qt::Key_Backtab:
        return QByteArrayLiteral("\x1b[Z");
    case Qt::Key_F11:
        return QByteArrayLiteral("\x1b[23~");
    case Qt::Key_F12:
        return QByteArrayLiteral("\x1b[24~");
    default:
        break;
    }
    if (event.modifiers() & Qt::ControlModifier) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return QByteArray(1, static_cast<char>(key - Qt::Key_A + 1));
        if (key >= Qt::Key_At && key <= Qt::Key_Underscore && key != Qt::Key_Space)
            return QByteArray(1, static_cast<char>(key - Qt::Key_At));
        if (key == Qt::Key_Space)
            return QByteArray(1, '\0');
    }
    QByteArray bytes;
    for (QChar c : event.text()) {
        const int b = byteOf(c);
        if (b >= 0)
            bytes.append(static_cast<char>(b));
    }
    return bytes;
}

} // namespace halvic
