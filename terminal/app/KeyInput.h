// What a key press stands for on the terminal's side: the virtual-key code of the keys a description
// may define, and the byte a character key sends.
#pragma once

#include <QByteArray>

class QKeyEvent;

namespace halvic {

// The virtual-key code of a cursor, editing or function key (F1-F10), or 0.
int VirtualKeyOf(int qtKey);

// The bytes of the key as a character: Enter CR, Backspace BS, Tab HT, Escape ESC, Shift+Tab ESC [ Z,
// F11 and F12 ESC [ 2 3 ~ and ESC [ 2 4 ~, Ctrl with a letter or one of @ [ \ ] ^ _ its control byte,
// other text as its 8-bit character. Empty for keys that make no character.
QByteArray CharacterBytesOf(const QKeyEvent& event);

} // namespace halvic
