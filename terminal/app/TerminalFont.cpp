#include "TerminalFont.h"

#include "HalvicSettings.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace halvic {

int TerminalFont::defaultHeight(double dotsPerInchY) {
    return -static_cast<int>((8 * std::lround(dotsPerInchY) + 36) / 72);
}

TerminalFont TerminalFont::load() {
    TerminalFont f;
    const QScreen* screen = QGuiApplication::primaryScreen();
    f.lfHeight = defaultHeight(screen ? screen->logicalDotsPerInchY() : 96.0);
    auto settings = HalvicSettings();
    auto read = [&](const char* name, int& value) {
        value = settings->value(QLatin1String(name), value).toInt();
    };
    read("lfHeight", f.lfHeight);
    read("lfWidth", f.lfWidth);
    read("lfEscapement", f.lfEscapement);
    read("lfOrientation", f.lfOrientation);
    read("lfWeight", f.lfWeight);
    read("lfItalic", f.lfItalic);
    read("lfUnderline", f.lfUnderline);
    read("lfStrikeOut", f.lfStrikeOut);
    read("lfCharSet", f.lfCharSet);
    read("lfOutPrecision", f.lfOutPrecision);
    read("lfClipPrecision", f.lfClipPrecision);
    read("lfQuality", f.lfQuality);
    read("lfPitchAndFamily", f.lfPitchAndFamily);
    f.lfFaceName = settings->value(QStringLiteral("lfFaceName"), f.lfFaceName).toString();
    return f;
}

void TerminalFont::save() const {
    auto settings = HalvicSettings();
    auto write = [&](const char* name, int value) { settings->setValue(QLatin1String(name), value); };
    write("lfHeight", lfHeight);
    write("lfWidth", lfWidth);
    write("lfEscapement", lfEscapement);
    write("lfOrientation", lfOrientation);
    write("lfWeight", lfWeight);
    write("lfItalic", lfItalic);
    write("lfUnderline", lfUnderline);
    write("lfStrikeOut", lfStrikeOut);
    write("lfCharSet", lfCharSet);
    write("lfOutPrecision", lfOutPrecision);
    write("lfClipPrecision", lfClipPrecision);
    write("lfQuality", lfQuality);
    write("lfPitchAndFamily", lfPitchAndFamily);
    settings->setValue(QStringLiteral("lfFaceName"), lfFaceName);
}

QFont TerminalFont::toQFont() const {
    QFont font;
    if (QFontDatabase::families().contains(lfFaceName, Qt::CaseInsensitive))
        font.setFamily(lfFaceName);
    else
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(std::max(1, std::abs(lfHeight == 0 ? 11 : lfHeight)));
    font.setWeight(static_cast<QFont::Weight>(lfWeight <= 0 ? 400 : std::clamp(lfWeight, 100, 900)));
    font.setItalic(lfItalic != 0);
    font.setUnderline(lfUnderline != 0);
    font.setStrikeOut(lfStrikeOut != 0);
    font.setKerning(false);
    return font;
}

} // namespace halvic
