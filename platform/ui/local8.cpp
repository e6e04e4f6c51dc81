#include "local8.h"

namespace gui {

namespace {

constexpr char16_t ideographicFullStop = 0x3002;
constexpr unsigned char fullStopLead = 0xA1;
constexpr unsigned char fullStopTrail = 0x43;

} // namespace

QString fromLocal8(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == fullStopLead && i + 1 < bytes.size() &&
            static_cast<unsigned char>(bytes[i + 1]) == fullStopTrail) {
            out.append(QChar(ideographicFullStop));
            ++i;
        } else {
            out.append(QChar(static_cast<char16_t>(b)));
        }
    }
    return out;
}

std::string toLocal8(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ideographicFullStop) {
            out.push_back(static_cast<char>(fullStopLead));
            out.push_back(static_cast<char>(fullStopTrail));
        } else if (u <= 0xFF) {
            out.push_back(static_cast<char>(u));
        } else {
            out.push_back('?');
        }
    }
    return out;
}

} // namespace gui
