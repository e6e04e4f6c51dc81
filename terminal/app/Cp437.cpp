#include "Cp437.h"

#include <QStringDecoder>

#include <array>

namespace halvic {

namespace {

struct Table {
    std::array<QChar, 256> chars;
    Table() {
        QStringDecoder decoder("IBM437");
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString s = decoder.isValid() ? decoder.decode(QByteArrayView(&byte, 1)) : QString();
            chars[static_cast<size_t>(b)] = s.size() == 1 ? s.front() : QChar(b < 0x80 ? b : 0xFFFD);
        }
    }
};

const Table& table() {
    static const Table t;
    return t;
}

} // namespace

QChar cp437Char(uint8_t byte) {
    return table().chars[byte];
}

QChar cp437Glyph(uint8_t byte) {
    static constexpr char16_t controls[32] = {0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
                                              0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
                                              0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
                                              0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};
    if (byte < 0x20)
        return QChar(controls[byte]);
    if (byte == 0x7F)
        return QChar(0x2302);
    return cp437Char(byte);
}

QString cp437Text(const char* bytes, size_t length) {
    QString text;
    text.reserve(static_cast<qsizetype>(length));
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        text.append(b < 0x20 ? QChar(b) : cp437Char(b));
    }
    return text;
}

} // namespace halvic
