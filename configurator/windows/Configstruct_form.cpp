#include "Configstruct_form.h"

#include "gui.h"
#include "Mainsetup.h"
#include "ui_TFmainset.h"
#include "Wdatacollect.h"

namespace {

std::string toValue(const QString& text) {
    return text.toLatin1().toStdString();
}

QString fromValue(const std::string& v) {
    return QString::fromLatin1(v.data(), qsizetype(v.size()));
}

bool isYes(const std::string& v) {
    return YesNoTextToCode(v) == 1;
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

FormSnapshot snapshotOnGuiThread() {
    FormSnapshot f;
    if (!Fmainset)
        return f;
    auto& u = *Fmainset->ui;
    f.deviceName = toValue(u.DeviceName->text());
    f.bandCode = BandCodeFromForm();
    f.pin = toValue(u.PIN1->text());
    f.configSerial = u.Config_serial->isChecked();
    f.baudCode = BaudTextToCode(u.ComboBox2->currentText());
    f.dataBitsCode = DataBitsTextToCode(u.ComboBox4->currentText());
    f.stopBitsCode = StopBitsTextToCode(u.ComboBox5->currentText());
    f.parityCode = ParityTextToCode(u.ComboBox3->currentText());
    f.flowCode = FlowTextToCode(u.ComboBox6->currentText());
    f.echoDisabled = u.Echo_Disable->isChecked();
    f.smsIn = u.SMS_IN_Data_Mode->isChecked();
    f.smsOut = u.SMS_OUT_Data_Mode->isChecked();
    f.smsInEncoding = SmsInEncodingFromForm();
    f.smsOutEncoding = SmsOutEncodingFromForm();
    f.callers = {toValue(u.SMSc1m->text()), toValue(u.SMSc2m->text())};
    f.targets = {toValue(u.SMSt1m->text()), toValue(u.SMSt2m->text())};
    const QLineEdit* init[] = {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1};
    for (std::size_t i = 0; i < f.initCommands.size(); ++i)
        f.initCommands[i] = toValue(init[i]->text());
    f.rings = RingsFromForm();
    f.dtrDrop = DtrDropFromForm();
    f.bearer = BearerFromForm();
    return f;
}

void emptyPair(QLineEdit* no1, QLineEdit* no2) {
    // No.2 first: an empty No.1 would make No.2's check put its "+" back.
    no2->clear();
    no1->clear();
}

void applyOnGuiThread(const ConfigRecord& v) {
    using K = ConfigKey;
    if (!Fmainset)
        return;
    auto& u = *Fmainset->ui;
    u.DeviceName->setText(fromValue(v[K::DeviceAlias]));
    SetBandFromValue(v[K::CellularBandSelection]);
    if (isYes(v[K::UsePin]))
        SetPinFromValue(v[K::PinCode]);
    else
        u.PIN1->clear();
    if (isYes(v[K::ConfigSerialPort])) {
        u.Config_serial->setChecked(true);
        SetBaudFromValue(v[K::Baudrate]);
        SetDataBitsFromValue(v[K::DataLength]);
        SetStopBitsParityFromValue(v[K::StopBits], v[K::ParityCheck]);
        SetFlowFromValue(v[K::FlowControl]);
        SetEchoFromValue(v[K::EchoInput]);
    } else {
        u.Config_serial->setChecked(false);
    }
    if (isYes(v[K::ConfigSmsTunneling])) {
        if (isYes(v[K::ConfigSmsToSerial])) {
            u.SMS_IN_Data_Mode->setChecked(true);
            SetSmsInEncodingFromValue(v[K::SmsInEncoding]);
            u.SMSc1m->setText(fromValue("+" + TakeDigits(v[K::ValidSender1], 59)));
            u.SMSc2m->setText(fromValue("+" + TakeDigits(v[K::ValidSender2], 59)));
        } else {
            emptyPair(u.SMSc1m, u.SMSc2m);
            u.SMS_IN_Data_Mode->setChecked(false);
            u.SMS_c7rm->setChecked(true);
        }
        if (isYes(v[K::ConfigSerialToSms])) {
            u.SMS_OUT_Data_Mode->setChecked(true);
            SetSmsOutEncodingFromValue(v[K::SmsOutEncoding]);
            u.SMSt1m->setText(fromValue("+" + TakeDigits(v[K::TargetReceiver1], 59)));
            u.SMSt2m->setText(fromValue("+" + TakeDigits(v[K::TargetReceiver2], 59)));
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
    const bool initOn = isYes(v[K::ConfigOtherInitString]);
    for (std::size_t i = 0; i < 6; ++i) {
        if (initOn)
            init[i]->setText(initCommand(v.at(keyIndex(K::InitCommand1) + int(i))));
        else
            init[i]->clear();
    }
    SetRingsFromValue(v[K::AutoAnswerRings]);
    SetDtrDropFromValue(v[K::DtrDrop]);
    SetBearerFromValue(v[K::GsmBearer]);
}

} // namespace

FormSnapshot TakeFormSnapshot() {
    return gui::callFor<FormSnapshot>(snapshotOnGuiThread);
}

ConfigRecord CollectFormRecord() {
    const bool saving = Fmainset && Fmainset->SavingToFile == 1;
    return CollectConfig(TakeFormSnapshot(), saving ? RecordUse::File : RecordUse::Modem);
}

void CollectConfigFromForm() {
    ConfigLines = CollectFormRecord();
    if (Fmainset)
        Fmainset->SavingToFile = 0;
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
