#include "Wdatacollect.h"

#include "control_style.h"
#include "Mainsetup.h"
#include "Mainwizard1.h"
#include "phone_rules.h"
#include "Rs232_setup.h"
#include "ui_TFmainset.h"
#include "ui_TFwizard.h"

#include <array>

namespace {

QString fromValue(const std::string& v) {
    return QString::fromLatin1(v.data(), qsizetype(v.size()));
}

int numberOf(const std::string& digits) {
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

// Ticks the n-th of a set of radio buttons (a tick runs the button's own reaction).
template <std::size_t N>
void tick(const std::array<QRadioButton*, N>& radios, std::size_t n) {
    radios[n]->setChecked(true);
}

template <std::size_t N>
int firstTicked(const std::array<QRadioButton*, N>& radios, int none) {
    for (std::size_t i = 0; i < N; ++i) {
        if (radios[i]->isChecked())
            return int(i);
    }
    return none;
}

std::array<QRadioButton*, 7> bandRadios() {
    auto& u = *Fmainset->ui;
    return {u.wmbs0_rm, u.wmbs1_rm, u.wmbs2_rm, u.wmbs3_rm, u.wmbs4_rm, u.wmbs5_rm, u.wmbs6_rm};
}

// The 0 / 1 / 2 encoding radios of one direction, in code order.
std::array<QRadioButton*, 3> smsInRadios() {
    auto& u = *Fmainset->ui;
    return {u.SMS_c7rm, u.SMS_c8rm, u.SMS_c16rm};
}

std::array<QRadioButton*, 3> smsOutRadios() {
    auto& u = *Fmainset->ui;
    return {u.SMS_t7rm, u.SMS_t8rm, u.SMS_t16rm};
}

std::array<QRadioButton*, 3> dtrRadios() {
    auto& u = *Fmainset->ui;
    return {u.DTR0_ignore, u.DTR1_Command, u.DTR2_HangUp};
}

const QStringList& baudTexts() {
    static const QStringList texts = [] {
        QStringList t;
        for (uint32_t rate : kBaudRates)
            t << QString::number(rate);
        return t;
    }();
    return texts;
}

void setEncodingFromValue(const std::string& v, const std::array<QRadioButton*, 3>& radios) {
    const std::string d = TakeDigits(v, 1);
    if (d.empty())
        return;
    tick(radios, d == "1" ? 1 : d == "2" ? 2 : 0);
}

} // namespace

int YesNoTextToCode(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    if (upper.find("YES") != std::string::npos)
        return 1;
    if (upper.find("NO") != std::string::npos)
        return 2;
    return 0;
}

int BandCodeFromForm() {
    return firstTicked(bandRadios(), 5);
}

int BaudTextToCode(const QString& text) {
    const qsizetype i = baudTexts().indexOf(text);
    return i < 0 ? 10 : int(i) + 1;
}

int DataBitsTextToCode(const QString& text) {
    return text == QLatin1String("7") ? 0 : 1;
}

int StopBitsTextToCode(const QString& text) {
    return text == QLatin1String("2") ? 1 : 0;
}

int ParityTextToCode(const QString& text) {
    if (text == QLatin1String("Odd"))
        return 0;
    if (text == QLatin1String("Even"))
        return 1;
    if (text == QLatin1String("Mark"))
        return 2;
    if (text == QLatin1String("Space"))
        return 3;
    return 4;
}

int FlowTextToCode(const QString& text) {
    return text == QLatin1String("Hardward (RTS)") ? 1 : 0;
}

int SmsInEncodingFromForm() {
    return firstTicked(smsInRadios(), 1);
}

int SmsOutEncodingFromForm() {
    return firstTicked(smsOutRadios(), 1);
}

int RingsFromForm() {
    auto& u = *Fmainset->ui;
    if (!u.GSM_Ring_On->isChecked())
        return 0;
    const QString text = u.GSM_Ring->text().trimmed();
    // The edit takes digits only; pasted text counts up to its first non-digit.
    int n = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        n = std::min(n * 10 + (c.unicode() - '0'), 256);
    }
    return std::min(n, 255);
}

int DtrDropFromForm() {
    return firstTicked(dtrRadios(), 0);
}

int BearerFromForm() {
    auto& u = *Fmainset->ui;
    if (u.GSM_P0->isChecked())
        return 0;
    if (u.GSM_P7->isChecked())
        return 7;
    if (u.GSM_P71->isChecked())
        return 71;
    return 0;
}

void SetBandFromValue(const std::string& v) {
    const std::string d = TakeDigits(v, 1);
    if (d.empty())
        return;
    const int n = numberOf(d);
    tick(bandRadios(), std::size_t(n <= 6 ? n : 5));
}

void SetPinFromValue(const std::string& v) {
    Fmainset->ui->PIN1->setText(fromValue(TakeDigits(v, 4)));
}

void SetBaudFromValue(const std::string& v) {
    const std::string d = TakeDigits(v, 2);
    if (d.empty())
        return;
    const int n = numberOf(d);
    if (n == 0)
        return;
    Fmainset->ui->ComboBox2->setCurrentIndex(std::min(n, 10) - 1);
}

void SetDataBitsFromValue(const std::string& v) {
    const std::string d = TakeDigits(v, 1);
    if (d == "0")
        Fmainset->ui->ComboBox4->setCurrentIndex(0);
    else if (d == "1")
        Fmainset->ui->ComboBox4->setCurrentIndex(1);
}

void SetStopBitsParityFromValue(const std::string& stop, const std::string& parity) {
    auto& u = *Fmainset->ui;
    const std::string s = TakeDigits(stop, 1);
    if (s == "1") {
        u.ComboBox5->setCurrentIndex(1);
        LockParityAtNone(u.ComboBox3);
    } else if (!s.empty() && stop == "0") {
        u.ComboBox5->setCurrentIndex(0);
    }
    const std::string p = TakeDigits(parity, 1);
    if (p.empty() || s == "1")
        return;
    SetComboEnabled(u.ComboBox3, true);
    const int code = numberOf(p);
    // Parity codes count from "Odd"; the box lists "None" first.
    if (code <= 4)
        u.ComboBox3->setCurrentIndex((code + 1) % 5);
}

void SetFlowFromValue(const std::string& v) {
    const std::string d = TakeDigits(v, 1);
    if (d.empty())
        return;
    Fmainset->ui->ComboBox6->setCurrentIndex(d == "1" ? 1 : 0);
}

void SetEchoFromValue(const std::string& v) {
    Fmainset->ui->Echo_Disable->setChecked(YesNoTextToCode(v) == 2);
}

void SetSmsInEncodingFromValue(const std::string& v) {
    setEncodingFromValue(v, smsInRadios());
}

void SetSmsOutEncodingFromValue(const std::string& v) {
    setEncodingFromValue(v, smsOutRadios());
}

void SetRingsFromValue(const std::string& v) {
    auto& u = *Fmainset->ui;
    const std::string d = TakeDigits(v, 3);
    const int n = d.empty() ? 0 : numberOf(d);
    if (n == 0) {
        u.GSM_Ring_On->setChecked(false);
        u.GSM_Ring->clear();
        return;
    }
    // Auto-answer and the SMS tunnel exclude each other.
    if (u.SMS_IN_Data_Mode->isChecked() || u.SMS_OUT_Data_Mode->isChecked()) {
        u.SMS_IN_Data_Mode->setChecked(false);
        u.SMS_OUT_Data_Mode->setChecked(false);
    }
    u.GSM_Ring_On->setChecked(true);
    u.GSM_Ring->clear();
    u.GSM_Ring->setText(n > 255 ? QStringLiteral("255") : fromValue(d));
}

void SetDtrDropFromValue(const std::string& v) {
    const std::string d = TakeDigits(v, 1);
    if (d.empty())
        return;
    tick(dtrRadios(), d == "1" ? 1 : d == "2" ? 2 : 0);
}

void SetBearerFromValue(const std::string& v) {
    auto& u = *Fmainset->ui;
    const std::string d = TakeDigits(v, 2);
    if (d.empty())
        return;
    const int n = numberOf(d);
    (n == 71 ? u.GSM_P71 : n == 7 ? u.GSM_P7 : u.GSM_P0)->setChecked(true);
}

void ApplyTwoStopBitsRule(QComboBox* stopBits, QComboBox* parity) {
    if (stopBits->currentText() == QLatin1String("2"))
        LockParityAtNone(parity);
    else
        SetComboEnabled(parity, true);
}

void LockParityAtNone(QComboBox* parity) {
    SetComboEnabled(parity, false);
    parity->setCurrentIndex(0);
}

void CopyWizardToMainForm() {
    auto& w = *Fwizard->ui;
    auto& m = *Fmainset->ui;
    m.Config_serial->setChecked(w.Config_serial->isChecked());
    m.ComboBox2->setCurrentIndex(w.ComboBox2->currentIndex());
    m.ComboBox6->setCurrentIndex(w.ComboBox6->currentIndex());
    m.ComboBox4->setCurrentIndex(w.ComboBox4->currentIndex());
    m.ComboBox5->setCurrentIndex(w.ComboBox5->currentIndex());
    if (w.ComboBox5->currentText() == QLatin1String("2")) {
        LockParityAtNone(m.ComboBox3);
    } else {
        m.ComboBox3->setCurrentIndex(w.ComboBox3->currentIndex());
        // One stop bit: the parity box must not stay locked from an earlier two-stop-bit state
        // while the serial settings are open for editing.
        if (m.Config_serial->isChecked())
            SetComboEnabled(m.ComboBox3, true);
    }
    m.DeviceName->setText(w.DeviceName->text());
    m.PIN1->setText(w.PIN1->text());
    const std::array<QRadioButton*, 7> wizardBands{w.wmbs0_r, w.wmbs1_r, w.wmbs2_r, w.wmbs3_r,
                                                   w.wmbs4_r, w.wmbs5_r, w.wmbs6_r};
    const auto mainBands = bandRadios();
    for (std::size_t i = 0; i < wizardBands.size(); ++i)
        mainBands[i]->setChecked(wizardBands[i]->isChecked());
    if (w.SMS_MS->isChecked()) {
        m.SMSc1m->setText(w.SMSc1->text());
        m.SMSc2m->setText(w.SMSc2->text());
        m.SMSt1m->setText(w.SMSt1->text());
        m.SMSt2m->setText(w.SMSt2->text());
        const std::array<QRadioButton*, 6> from{w.SMS_c7r, w.SMS_c8r, w.SMS_c16r,
                                                w.SMS_t7r, w.SMS_t8r, w.SMS_t16r};
        const std::array<QRadioButton*, 6> to{m.SMS_c7rm, m.SMS_c8rm, m.SMS_c16rm,
                                              m.SMS_t7rm, m.SMS_t8rm, m.SMS_t16rm};
        for (std::size_t i = 0; i < from.size(); ++i)
            to[i]->setChecked(from[i]->isChecked());
        m.SMS_IN_Data_Mode->setChecked(w.SMS_IN_Data_Mode->isChecked());
        m.SMS_OUT_Data_Mode->setChecked(w.SMS_OUT_Data_Mode->isChecked());
    } else {
        PhoneNumberPair::Reset(m.SMSc1m, m.SMSc2m);
        PhoneNumberPair::Reset(m.SMSt1m, m.SMSt2m);
        m.SMS_IN_Data_Mode->setChecked(false);
        m.SMS_OUT_Data_Mode->setChecked(false);
        m.SMS_c7rm->setChecked(true);
        m.SMS_t7rm->setChecked(true);
    }
}

void ResetWizard() {
    auto& w = *Fwizard->ui;
    w.PageControl1->setCurrentWidget(w.MainWizard1);
    w.TransparentMS->setChecked(true);
    w.SMS_MS->setChecked(false);
    w.RadioButton1->setChecked(true);
    w.Config_serial->setChecked(false);
    w.ComboBox2->setCurrentIndex(9);
    w.ComboBox6->setCurrentIndex(0);
    w.ComboBox4->setCurrentIndex(1);
    w.ComboBox5->setCurrentIndex(0);
    w.ComboBox3->setCurrentIndex(0);
    w.DeviceName->clear();
    for (QComboBox* c : {w.ComboBox2, w.ComboBox3, w.ComboBox4, w.ComboBox5, w.ComboBox6})
        SetComboEnabled(c, false);
    w.PIN1->clear();
    w.wmbs5_r->setChecked(true);
    PhoneNumberPair::Reset(w.SMSc1, w.SMSc2);
    PhoneNumberPair::Reset(w.SMSt1, w.SMSt2);
    w.SMS_c7r->setChecked(true);
    w.SMS_t7r->setChecked(true);
    w.SMS_IN_Data_Mode->setChecked(true);
    w.SMS_OUT_Data_Mode->setChecked(true);
    w.TitleL1->setText(QStringLiteral("Welcome to the Vantro Modem Wizard"));
    w.TitleL2->setText(QStringLiteral("Use this wizard to set up your Vantro Q8600 cellular modem."));
    w.TitleL3->clear();
    w.TitleL4->clear();
    w.Back->hide();

    auto& m = *Fmainset->ui;
    PhoneNumberPair::Reset(m.SMSc1m, m.SMSc2m);
    PhoneNumberPair::Reset(m.SMSt1m, m.SMSt2m);
    m.GSM_Ring_On->setChecked(false);
    m.DTR0_ignore->setChecked(true);
    m.GSM_P0->setChecked(true);
    m.Build->clear();
    m.Ver->clear();
    for (QLineEdit* e : {m.CMD1, m.CMD2, m.CMD3, m.CMD4, m.CMD5, m.init1})
        e->clear();
}
