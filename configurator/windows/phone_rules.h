#pragma once
// The change checks shared by every pair of phone-number fields (No.1 and No.2 of one group): a
// number starts with "+" and holds digits only, and No.2 is taken only once No.1 holds a number.
// A text of one character or less counts as empty.

#include <QObject>
#include <QString>

class QLineEdit;

class PhoneNumberPair : public QObject {
    Q_OBJECT
public:
    // firstMessage: the group's "fill in No. 1 first" text. plainFormatMessages: the two format
    // messages use the plain display (no caption) instead of a captioned box.
    PhoneNumberPair(QLineEdit* no1, QLineEdit* no2, QString firstMessage, bool plainFormatMessages,
                    QObject* parent);

    // "+" and the digits, however they come: typed, pasted or set by the program.
    static constexpr int MaxLength = 59;

    // Empties both fields to "+", No.2 first: emptying No.1 while No.2 still holds a number would
    // ask the user to fill in No.1 in the middle of a reset.
    static void Reset(QLineEdit* no1, QLineEdit* no2);

private:
    void No1Change(const QString& text);
    void No2Change(const QString& text);
    // Checks 2 and 3 of both fields; true when the text was reset to "+".
    bool checkFormat(QLineEdit* edit, const QString& text);
    void say(const QString& text, bool plainAllowed);

    QLineEdit* no1_;
    QLineEdit* no2_;
    QString firstMessage_;
    bool plainFormatMessages_;
};
