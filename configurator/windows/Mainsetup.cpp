#include "Mainsetup.h"

#include "ui_TFmainset.h"

#include "Configstruct.h"
#include "Connectsetup.h"
#include "control_style.h"
#include "file_dialogs.h"
#include "firmware_image_check.h"
#include "key_filters.h"
#include "local8.h"
#include "Mainwizard1.h"
#include "messenger.h"
#include "phone_rules.h"
#include "Wdatacollect.h"
#include "window_texts.h"

#include <QCloseEvent>
#include <QFile>

#include <algorithm>
#include <climits>

TFmainset* Fmainset = nullptr;

namespace {

bool allDigits(const QString& text) {
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

TFmainset::TFmainset(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TFmainset>()) {
    ui->setupUi(this);
    Fmainset = this;
    // The window has no controls for these keys; the modem is told nothing new for them.
    for (int k = keyIndex(ConfigKey::ConfigAutoanswerAuth);
         k <= keyIndex(ConfigKey::EnableV42bisPdpDataCompression); ++k)
        ConfigLines.at(k) = "\r\n";
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, false);
    SetControlColour(ui->GSM_Ring, ControlColour::Light3D);
    for (QWidget* w : {static_cast<QWidget*>(ui->GroupBox6), static_cast<QWidget*>(ui->SMSc1m),
                       static_cast<QWidget*>(ui->SMSc2m), static_cast<QWidget*>(ui->GroupBox7),
                       static_cast<QWidget*>(ui->SMSt1m), static_cast<QWidget*>(ui->SMSt2m)})
        SetControlColour(w, ControlColour::Light3D);

    new DigitKeyFilter(ui->PIN1);
    new DigitKeyFilter(ui->GSM_Ring);
    callers_ = new PhoneNumberPair(ui->SMSc1m, ui->SMSc2m, texts::CallerFirst, false, this);
    targets_ = new PhoneNumberPair(ui->SMSt1m, ui->SMSt2m, texts::TargetFirst, false, this);

    connect(ui->PIN1, &QLineEdit::textChanged, this, &TFmainset::PIN1Change);
    connect(ui->GSM_Ring, &QLineEdit::textChanged, this, &TFmainset::GSM_RingChange);
    connect(ui->GSM_Ring_On, &QCheckBox::toggled, this, &TFmainset::GSM_Ring_OnClick);
    connect(ui->SMS_IN_Data_Mode, &QCheckBox::toggled, this, &TFmainset::SMS_IN_Data_ModeClick);
    connect(ui->SMS_OUT_Data_Mode, &QCheckBox::toggled, this, &TFmainset::SMS_OUT_Data_ModeClick);
    connect(ui->Config_serial, &QCheckBox::toggled, this, &TFmainset::Config_serialClick);
    connect(ui->ComboBox5, &QComboBox::activated, this, &TFmainset::ComboBox5Change);

    connect(ui->DownloadBtn, &QPushButton::clicked, this, &TFmainset::DownloadBtnClick);
    connect(ui->UploadBtn, &QPushButton::clicked, this, &TFmainset::UploadBtnClick);
    connect(ui->UpgradeBtn, &QPushButton::clicked, this, &TFmainset::UpgradeBtnClick);
    connect(ui->MonitoringBtn, &QPushButton::clicked, this, &TFmainset::MonitoringBtnClick);
    connect(ui->ResetBtn, &QPushButton::clicked, this, &TFmainset::ResetBtnClick);
    connect(ui->DelSMSBtn, &QPushButton::clicked, this, &TFmainset::DelSMSBtnClick);
    connect(ui->Exit2, &QAction::triggered, this, &TFmainset::Exit2Click);
    connect(ui->GotoModeWizard1, &QAction::triggered, this, &TFmainset::GotoModeWizard1Click);
    ConnectFileCommands();

    FixSizeAndCentre(this);
}

TFmainset::~TFmainset() {
    if (Fmainset == this)
        Fmainset = nullptr;
}

void TFmainset::say(const QString& text) {
    gui::messenger().show(texts::ProgramTitle, text);
}

int TFmainset::Fmain_DL_PIN_Check() const {
    const QString pin = ui->PIN1->text();
    if (pin.isEmpty())
        return 2;
    if (pin.size() != 4)
        return -1;
    return allDigits(pin) ? 1 : -2;
}

int TFmainset::Fmain_DL_CMD_Check() {
    for (QLineEdit* e : {ui->CMD1, ui->CMD2, ui->CMD3, ui->CMD4, ui->CMD5, ui->init1}) {
        const QString text = e->text().toLower();
        if (text.isEmpty())
            continue;
        if (text.contains(QLatin1String("q1")) || text.contains(QLatin1String("q0"))) {
            say(QStringLiteral("ATQ0 or ATQ1 commands not support."));
            ui->PageControl1->setCurrentWidget(ui->Init_Strings);
            e->setFocus();
            return -1;
        }
    }
    return 1;
}

void TFmainset::clearOperationFlags() {
    OpUpgrade = OpApply = OpMonitor = OpRead = OpRestore = 0;
}

void TFmainset::startOperation(std::int32_t TFmainset::*flag) {
    clearOperationFlags();
    this->*flag = 1;
    if (Fconnect)
        Fconnect->showOver(this);
}

void TFmainset::DownloadBtnClick() {
    if (Fmain_DL_PIN_Check() <= 0) {
        say(QStringLiteral("The PIN must be 4 digits. Leave this empty if a PIN is not used."));
        ui->PageControl1->setCurrentWidget(ui->TabSheet1);
        ui->PIN1->setFocus();
        return;
    }
    if (ui->GSM_Ring_On->isChecked() && ui->GSM_Ring->text().isEmpty()) {
        say(QStringLiteral("Must enter between 1 and 255 rings for Auto-answer on"));
        ui->PageControl1->setCurrentWidget(ui->TabSheet2);
        ui->GSM_Ring->setFocus();
        return;
    }
    const struct {
        QLineEdit* no1;
        QLineEdit* no2;
        const QString& message;
    } pairs[] = {{ui->SMSc1m, ui->SMSc2m, texts::CallerFirst}, {ui->SMSt1m, ui->SMSt2m, texts::TargetFirst}};
    for (const auto& pair : pairs) {
        if (pair.no1->text().size() <= 1 && pair.no2->text().size() > 1) {
            say(pair.message);
            ui->PageControl1->setCurrentWidget(ui->TabSheet3);
            pair.no1->setFocus();
            pair.no1->setCursorPosition(1);
            return;
        }
    }
    if (Fmain_DL_CMD_Check() <= 0)
        return;
    startOperation(&TFmainset::OpApply);
}

void TFmainset::UploadBtnClick() {
    startOperation(&TFmainset::OpRead);
}

void TFmainset::MonitoringBtnClick() {
    startOperation(&TFmainset::OpMonitor);
}

void TFmainset::ResetBtnClick() {
    startOperation(&TFmainset::OpRestore);
}

void TFmainset::DelSMSBtnClick() {
    startOperation(&TFmainset::OpDeleteSms);
}

void TFmainset::UpgradeBtnClick() {
    OpUpgrade = 1;
    const gui::Answer answer = gui::messenger().ask(
        texts::ProgramTitle,
        QStringLiteral("This will reset the modem to default settings.\nYour current settings will be lost. "
                       "\n\nTo save your modem's current settings, press \n\"No\", then use the \"Get "
                       "Settings\" function \nand the \"File->Save\" command.\n\nDo you wish to proceed?"));
    if (answer != gui::Answer::Yes) {
        clearOperationFlags();
        return;
    }
    OpApply = OpMonitor = OpRead = OpRestore = 0;
    FirmwareFile.clear();
    FirmwareFileSize = 0;
    FirmwareModelCode = 0;
    // BREL_FIRMWARE_DIR names a folder of images (the demo's) for the dialog to start in.
    const QString path =
        gui::fileDialogs().openFile(QString(), qEnvironmentVariable("BREL_FIRMWARE_DIR"),
                                    gui::qtFilter(QStringLiteral("Img files (*.img)|*.img")));
    if (!path.isEmpty())
        acceptFirmwareImage(path);
    // Without an accepted image the upgrade is dropped.
    if (FirmwareFile.isEmpty() || FirmwareFileSize <= 0) {
        OpUpgrade = 0;
        return;
    }
    if (Fconnect)
        Fconnect->showOver(this);
}

void TFmainset::acceptFirmwareImage(const QString& path) {
    const FirmwareImageCheck check = CheckFirmwareImage(QFile::encodeName(path).toStdString());
    if (!check.exists) {
        gui::messenger().show(
            QStringLiteral("Open Existing File Error"),
            path + gui::fromLocal8("\nFound file error\xA1\x43\nPlease confirm the file name\xA1\x43\n"),
            gui::Icon::Warning);
        return;
    }
    FirmwareFileSize = std::int32_t(std::min<std::int64_t>(check.size, INT32_MAX));
    FirmwareChecksum = check.checksum;
    FirmwareModelCode = check.modelCode;
    // An image beyond what the size field holds cannot be sent either.
    if (!check.accepted || check.size > INT32_MAX) {
        gui::messenger().showPlain(QStringLiteral("Firmware file invalid. Please check the file."));
        return;
    }
    FirmwareFile = path;
}

void TFmainset::PIN1Change(const QString& text) {
    if (text.isEmpty() || allDigits(text))
        return;
    say(QStringLiteral("Invalid PIN. 4-digit PIN required."));
    ui->PIN1->clear();
    ui->PIN1->setFocus();
}

void TFmainset::GSM_RingChange(const QString& text) {
    if (text.isEmpty())
        return;
    // Pasted text: keep its digits only, silently.
    QString digits;
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits.append(c);
    }
    if (digits != text) {
        ui->GSM_Ring->setText(digits);
        return;
    }
    if (digits.toInt() >= 256)
        ui->GSM_Ring->setText(QStringLiteral("255"));
}

void TFmainset::GSM_Ring_OnClick(bool ticked) {
    if (!ticked) {
        ui->GSM_Ring->setEnabled(false);
        SetControlColour(ui->GSM_Ring, ControlColour::Light3D);
        ui->GSM_Ring->clear();
        return;
    }
    ui->GSM_Ring->setEnabled(true);
    SetControlColour(ui->GSM_Ring, ControlColour::Window);
    ui->GSM_Ring->setText(QStringLiteral("1"));
    QCheckBox* focus = nullptr;
    if (ui->SMS_IN_Data_Mode->isChecked())
        focus = ui->SMS_IN_Data_Mode;
    else if (ui->SMS_OUT_Data_Mode->isChecked())
        focus = ui->SMS_OUT_Data_Mode;
    if (!focus)
        return;
    ui->SMS_IN_Data_Mode->setChecked(false);
    ui->SMS_OUT_Data_Mode->setChecked(false);
    ui->PageControl1->setCurrentWidget(ui->TabSheet3);
    focus->setFocus();
    say(QStringLiteral("Auto-answer and SMS Tunnel mode can not coexist.\nWhen you choice Auto-answer On, "
                       "SMS tunnel will be disable."));
}

void TFmainset::SMS_IN_Data_ModeClick(bool ticked) {
    SetSmsGroupEnabled(ui->GroupBox6, ui->SMSc1m, ui->SMSc2m, ticked);
    if (!ticked || !ui->GSM_Ring_On->isChecked())
        return;
    ui->GSM_Ring_On->setChecked(false);
    ui->PageControl1->setCurrentWidget(ui->TabSheet2);
    ui->GSM_Ring_On->setFocus();
    say(QStringLiteral("SMS Tunnel mode and Auto-answer cannot be used at the same time.\nWhen SMS Tunnel On "
                       "is selected, Auto-answer will be disabled."));
}

void TFmainset::SMS_OUT_Data_ModeClick(bool ticked) {
    SetSmsGroupEnabled(ui->GroupBox7, ui->SMSt1m, ui->SMSt2m, ticked);
    if (!ticked || !ui->GSM_Ring_On->isChecked())
        return;
    ui->GSM_Ring_On->setChecked(false);
    ui->PageControl1->setCurrentWidget(ui->TabSheet2);
    ui->GSM_Ring_On->setFocus();
    say(QStringLiteral("SMS Tunnel mode and Auto-answer can not coexist.\nWhen you choice SMS Tunnel On, "
                       "Auto-answer will be disable."));
}

void TFmainset::Config_serialClick(bool ticked) {
    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, ticked);
    ui->Echo_Disable->setEnabled(ticked);
    if (ticked) {
        SetComboEnabled(ui->ComboBox3, ui->ComboBox5->currentIndex() != 1);
    } else {
        SetComboEnabled(ui->ComboBox3, false);
        ui->Echo_Disable->setChecked(false);
    }
}

void TFmainset::ComboBox5Change(int) {
    ApplyTwoStopBitsRule(ui->ComboBox5, ui->ComboBox3);
}

void TFmainset::GotoModeWizard1Click() {
    hide();
    ResetWizard();
    if (Fwizard)
        Fwizard->show();
}

void TFmainset::Exit2Click() {
    if (Fwizard)
        Fwizard->close();
}

void TFmainset::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Fwizard)
        Fwizard->close();
}
