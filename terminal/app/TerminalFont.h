// The terminal font as the program keeps it among the user's settings: the fourteen values of a
// logical font description, and the Qt font made from them.
#pragma once

#include <QFont>
#include <QString>

namespace halvic {

struct TerminalFont {
    int lfHeight = -11; // negative: the character height in pixels
    int lfWidth = 0;
    int lfEscapement = 0;
    int lfOrientation = 0;
    int lfWeight = 400;
    int lfItalic = 0;
    int lfUnderline = 0;
    int lfStrikeOut = 0;
    int lfCharSet = 1;
    int lfOutPrecision = 3;
    int lfClipPrecision = 2;
    int lfQuality = 1;
    int lfPitchAndFamily = 49;
    QString lfFaceName = QStringLiteral("Courier New");

    bool operator==(const TerminalFont&) const = default;

    // An 8-point height at the screen's vertical resolution.
    static int defaultHeight(double dotsPerInchY);
    // From the settings (section "2.0"), with the defaults for values not stored.
    static TerminalFont load();
    void save() const;

    // The face when it is installed, else the system's fixed-pitch font; always fixed pitch.
    QFont toQFont() const;
};

} // namespace halvic
