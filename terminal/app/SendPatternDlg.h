// The Send Pattern dialog: the pattern as characters (the pattern line), as hexadecimal bytes (the HEX
// field, kept in step with the line) or as a range of byte values, and how often to send it.
#pragma once

#include "pattern_generator.h"

#include <QDialog>

#include <vector>

class QLineEdit;
class QRadioButton;

namespace halvic {

class CHexPatternEdit;
class DigitEdit;
class HexEdit;

class CSendPatternDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSendPatternDlg(QWidget* parent = nullptr);

    // After OK: what is shown while sending, and the bytes of one pass.
    QString patternText() const { return patternText_; }
    const std::vector<uint8_t>& pass() const { return pass_; }

    CHexPatternEdit* patternLine() const { return line_; }

    void accept() override; // Start Send
    void reject() override; // Cancel: the entries are kept

private:
    void applyType(terminal::PatternType type, bool focus);
    void applyCountMode(terminal::PatternCountMode mode);
    void OnPatternChanged();
    void OnHexChanged(const QString& text);
    // Steps 1 and 2 of Start Send: the fields into the program-wide entries.
    void storeEntries();

    CHexPatternEdit* line_;
    QRadioButton* ascii_;
    QRadioButton* hex_;
    QRadioButton* range_;
    HexEdit* hexField_;
    HexEdit* start_;
    HexEdit* end_;
    QRadioButton* untilBreak_;
    QRadioButton* repeat_;
    DigitEdit* repeatCount_;
    QString patternText_;
    std::vector<uint8_t> pass_;
};

} // namespace halvic
