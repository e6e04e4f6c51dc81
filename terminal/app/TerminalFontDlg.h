// The Font command's dialog: the fixed-pitch families of the system, a style, and the sizes the
// terminal draws well (8 to 14 points). No effects and no script choice: the terminal draws its own
// attributes and takes 8-bit cells.
#pragma once

#include "TerminalFont.h"

#include <QDialog>

class QLabel;
class QListWidget;

namespace halvic {

class CTerminalFontDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinPoints = 8;
    static constexpr int MaxPoints = 14;

    // dotsPerInchY turns the font's pixel height into points and back.
    CTerminalFontDlg(const TerminalFont& font, double dotsPerInchY, QWidget* parent = nullptr);

    // The chosen font: the dialog's family, style and size over the other values of the one given.
    TerminalFont selectedFont() const;

    // The families offered: fixed pitch only.
    static QStringList fixedPitchFamilies();

private:
    void showSample();

    TerminalFont font_;
    double dpi_;
    QListWidget* families_ = nullptr;
    QListWidget* styles_ = nullptr;
    QListWidget* sizes_ = nullptr;
    QLabel* sample_ = nullptr;
};

} // namespace halvic
