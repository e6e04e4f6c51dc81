#include "phone_rules.h"

#include "key_filters.h"
#include "messenger.h"
#include "window_texts.h"

#include <QLineEdit>

PhoneNumberPair::PhoneNumberPair(QLineEdit* no1, QLineEdit* no2, QString firstMessage,
                                 bool plainFormatMessages, QObject* parent)
    : QObject(parent), no1_(no1), no2_(no2), firstMessage_(std::move(firstMessage)),
      plainFormatMessages_(plainFormatMessages) {
    new PhoneKeyFilter(no1, MaxLength);
    new PhoneKeyFilter(no2, MaxLength);
    // Pasted and program-set numbers are held to the same length as typed ones.
    no1->setMaxLength(MaxLength);
    no2->setMaxLength(MaxLength);
    connect(no1, &QLineEdit::textChanged, this, &PhoneNumberPair::No1Change);
    connect(no2, &QLineEdit::textChanged, this, &PhoneNumberPair::No2Change);
}

void PhoneNumberPair::Reset(QLineEdit* no1, QLineEdit* no2) {
    no2->setText(QStringLiteral("+"));
    no1->setText(QStringLiteral("+"));
}

void PhoneNumberPair::say(const QString& text, bool plainAllowed) {
    if (plainAllowed && plainFormatMessages_)
        gui::messenger().showPlain(text);
    else
        gui::messenger().show(texts::ProgramTitle, text);
}

bool PhoneNumberPair::checkFormat(QLineEdit* edit, const QString& text) {
    if (text.isEmpty())
        return false;
    if (text.startsWith(QLatin1Char('+'))) {
        for (qsizetype i = 1; i < text.size(); ++i) {
            if (text.at(i) < QLatin1Char('0') || text.at(i) > QLatin1Char('9')) {
                say(QStringLiteral("Please enter digits."), true);
                edit->setText(QStringLiteral("+"));
                edit->setCursorPosition(1);
                return true;
            }
        }
        return false;
    }
    say(QStringLiteral("\"+\" and country code required."), true);
    edit->setText(QStringLiteral("+"));
    edit->setCursorPosition(1);
    return true;
}

void PhoneNumberPair::No1Change(const QString& text) {
    if (text.size() == 1 && no2_->text().size() > 1) {
        say(firstMessage_, false);
        return;
    }
    checkFormat(no1_, text);
}

void PhoneNumberPair::No2Change(const QString& text) {
    // An emptied field holds nothing to check; the reset to "+" is for typed numbers, so that a
    // record without numbers can empty both fields.
    if (text.isEmpty())
        return;
    if (no1_->text().size() < 2) {
        if (text.size() > 1)
            say(firstMessage_, false);
        no2_->setText(QStringLiteral("+"));
        no1_->setFocus();
        no1_->setCursorPosition(1);
        return;
    }
    checkFormat(no2_, text);
}
