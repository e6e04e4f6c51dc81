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
