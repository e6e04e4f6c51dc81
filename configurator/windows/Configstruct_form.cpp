#include "Configstruct_form.h"

#include "gui.h"
#include "Mainsetup.h"
#include "ui_TFmainset.h"
#include "Wdatacollect.h"

#include <algorithm>

namespace {

const std::string kLineEnd = "\r\n";

std::string toValue(const QString& text) {
    return text.toLatin1().toStdString();
}

QString fromValue(const std::string& v) {
    return QString::fromLatin1(v.data(), qsizetype(v.size()));
}

bool isYes(const std::string& v) {
    return YesNoTextToCode(v) == 1;
}

// A phone number as the record holds it: "+" and up to 59 digits, or empty when the field holds
// fewer than two digits.
std::string phoneValue(const QLineEdit* edit) {
    const std::string text = toValue(edit->text().trimmed());
    const std::string digits = TakeDigits(text, 59);
    if (digits.size() < 2)
        return {};
    return "+" + digits;
}

// An init command as the window shows it: no line-end characters, at most 39 characters.
QString initCommand(const std::string& v) {
    std::string text;
    for (char c : v) {
        if (c != '\r' && c != '\n')
            text.push_back(c);
    }
    if (text.size() > 39)
        text.resize(39);
    return fromValue(text);
}

ConfigRecord collectOnGuiThread() {
    if (!Fmainset)
        return {};
    auto& u = *Fmainset->ui;
    ConfigRecord r;
    r[0] = toValue(u.DeviceName->text());
    r[1] = std::to_string(BandCodeFromForm());
    const QString pin = u.PIN1->text();
    const std::string pinDigits = pin.size() == 4 ? TakeDigits(toValue(pin), 4) : std::string();
    r[2] = pinDigits.size() == 4 ? "Yes" : "No";
    r[3] = pinDigits;
    r[4] = "No";
    r[5] = "";
    r[6] = u.Config_serial->isChecked() ? "Yes" : "No";
    r[7] = std::to_string(BaudTextToCode(u.ComboBox2->currentText()));
    r[8] = std::to_string(DataBitsTextToCode(u.ComboBox4->currentText()));
    r[9] = std::to_string(StopBitsTextToCode(u.ComboBox5->currentText()));
    r[10] = std::to_string(ParityTextToCode(u.ComboBox3->currentText()));
    r[11] = std::to_string(FlowTextToCode(u.ComboBox6->currentText()));
    r[12] = u.Echo_Disable->isChecked() ? "No" : "Yes";
    const bool smsIn = u.SMS_IN_Data_Mode->isChecked();
    const bool smsOut = u.SMS_OUT_Data_Mode->isChecked();
    if (smsIn || smsOut) {
        r[13] = "Yes";
        r[14] = smsIn ? "Yes" : "No";
        r[15] = std::to_string(SmsInEncodingFromForm());
        r[16] = phoneValue(u.SMSc1m);
        r[17] = phoneValue(u.SMSc2m);
        r[18] = smsOut ? "Yes" : "No";
        r[19] = std::to_string(SmsOutEncodingFromForm());
        r[20] = phoneValue(u.SMSt1m);
        r[21] = phoneValue(u.SMSt2m);
    } else {
        r[13] = "No";
    }
    for (int k = 22; k <= 35; ++k)
        r[std::size_t(k)] = "No";
    const QLineEdit* init[] = {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1};
    const bool anyInit = std::any_of(std::begin(init), std::end(init),
                                     [](const QLineEdit* e) { return !e->text().isEmpty(); });
    r[36] = anyInit ? "Yes" : "No";
    if (anyInit) {
        for (std::size_t i = 0; i < 6; ++i)
            r[37 + i] = toValue(init[i]->text());
    }
    const bool saving = Fmainset->SavingToFile == 1;
    r[43] = (saving ? "" : "ats0=") + std::to_string(RingsFromForm());
    r[44] = (saving ? "" : "at&d") + std::to_string(DtrDropFromForm());
    r[45] = (saving ? "" : "at+cbst=") + std::to_string(BearerFromForm());
    for (std::size_t k = 0; k < 46; ++k)
        r[k] += kLineEnd;
    r[46] = "";
    Fmainset->SavingToFile = 0;
    return r;
}

void emptyPair(QLineEdit* no1, QLineEdit* no2) {
    // No.2 first: an empty No.1 would make No.2's check put its "+" back.
    no2->clear();
    no1->clear();
}

void applyOnGuiThread(const ConfigRecord& v) {
    if (!Fmainset)
        return;
    auto& u = *Fmainset->ui;
    u.DeviceName->setText(fromValue(v[0]));
    SetBandFromValue(v[1]);
    if (isYes(v[2]))
        SetPinFromValue(v[3]);
    else
        u.PIN1->clear();
    if (isYes(v[6])) {
        u.Config_serial->setChecked(true);
        SetBaudFromValue(v[7]);
        SetDataBitsFromValue(v[8]);
        SetStopBitsParityFromValue(v[9], v[10]);
        SetFlowFromValue(v[11]);
        SetEchoFromValue(v[12]);
    } else {
        u.Config_serial->setChecked(false);
    }
    if (isYes(v[13])) {
        if (isYes(v[14])) {
            u.SMS_IN_Data_Mode->setChecked(true);
            SetSmsInEncodingFromValue(v[15]);
            u.SMSc1m->setText(fromValue("+" + TakeDigits(v[16], 59)));
            u.SMSc2m->setText(fromValue("+" + TakeDigits(v[17], 59)));
        } else {
            emptyPair(u.SMSc1m, u.SMSc2m);
            u.SMS_IN_Data_Mode->setChecked(false);
            u.SMS_c7rm->setChecked(true);
        }
        if (isYes(v[18])) {
            u.SMS_OUT_Data_Mode->setChecked(true);
            SetSmsOutEncodingFromValue(v[19]);
            u.SMSt1m->setText(fromValue("+" + TakeDigits(v[20], 59)));
            u.SMSt2m->setText(fromValue("+" + TakeDigits(v[21], 59)));
        } else {
            emptyPair(u.SMSt1m, u.SMSt2m);
            u.SMS_OUT_Data_Mode->setChecked(false);
            u.SMS_t7rm->setChecked(true);
        }
    } else {
        emptyPair(u.SMSc1m, u.SMSc2m);
        emptyPair(u.SMSt1m, u.SMSt2m);
        u.SMS_IN_Data_Mode->setChecked(false);
        u.SMS_OUT_Data_Mode->setChecked(false);
        u.SMS_c7rm->setChecked(true);
        u.SMS_t7rm->setChecked(true);
    }
    QLineEdit* init[] = {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1};
    const bool initOn = isYes(v[36]);
    for (std::size_t i = 0; i < 6; ++i) {
        if (initOn)
            init[i]->setText(initCommand(v[37 + i]));
        else
            init[i]->clear();
    }
    SetRingsFromValue(v[43]);
    SetDtrDropFromValue(v[44]);
    SetBearerFromValue(v[45]);
}

} // namespace

ConfigRecord CollectFormRecord() {
    return gui::callFor<ConfigRecord>(collectOnGuiThread);
}

void CollectConfigFromForm() {
    ConfigLines = CollectFormRecord();
}

void ApplyConfigToForm(const ConfigRecord& record) {
    gui::call([&record] { applyOnGuiThread(record); });
}

void InstallConfigFormHook() {
    setApplyConfigToForm([](const ConfigRecord& record) {
        const int empty = LastEmptyValueCount();
        gui::call([&] {
            if (Fmainset)
                Fmainset->EmptyValueCount = empty;
            // A text that names no key at all is not a configuration: it must not empty the PIN,
            // the numbers and the init strings before the format error is shown.
            if (empty < kConfigKeyCount)
                applyOnGuiThread(record);
        });
    });
}
