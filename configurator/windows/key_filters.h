#pragma once
// Key filters of the entry fields: they drop typed characters the field does not take. Pasted text
// passes them; the fields' change checks deal with it.

#include <QObject>

class QLineEdit;

// Digits and Backspace only (PIN and ring count).
class DigitKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit DigitKeyFilter(QLineEdit* edit);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// A phone number: digits; one "+" typed at the very start; Backspace except right after the
// leading "+"; Delete is swallowed with the caret at the start. At most maxTyped characters can be
// typed, while text set by the program may be longer.
class PhoneKeyFilter : public QObject {
    Q_OBJECT
public:
    PhoneKeyFilter(QLineEdit* edit, int maxTyped);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int maxTyped_;
};
