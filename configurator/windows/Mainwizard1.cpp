#include "Mainwizard1.h"

#include "ui_TFmainset.h"
#include "ui_TFwizard.h"

#include "Configstruct.h"
#include "control_style.h"
#include "file_dialogs.h"
#include "key_filters.h"
#include "local8.h"
#include "Mainsetup.h"
#include "messenger.h"
#include "phone_rules.h"
#include "Wdatacollect.h"
#include "window_texts.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>

#include <array>

TFwizard* Fwizard = nullptr;
int WizardStep = 0;

TFwizard::TFwizard(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFwizard>()) {
    ui->setupUi(this);
    Fwizard = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    // The header is white like an edit field.
    SetControlColour(ui->p1, ControlColour::Window);
    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, false);
    SetControlColour(ui->GroupBox4, ControlColour::BtnFace);
    SetControlColour(ui->GroupBox5, ControlColour::BtnFace);

    new DigitKeyFilter(ui->PIN1);
    new PhoneNumberPair(ui->SMSc1, ui->SMSc2, texts::CallerFirst, true, this);
    new PhoneNumberPair(ui->SMSt1, ui->SMSt2, texts::TargetFirst, true, this);

    connect(ui->Config_serial, &QCheckBox::toggled, this, &TFwizard::Config_serialClick);
    connect(ui->ComboBox5, &QComboBox::activated, this, &TFwizard::ComboBox5Change);
    connect(ui->SMS_IN_Data_Mode, &QCheckBox::toggled, this, &TFwizard::SMS_IN_Data_ModeClick);
    connect(ui->SMS_OUT_Data_Mode, &QCheckBox::toggled, this, &TFwizard::SMS_OUT_Data_ModeClick);
    connect(ui->TransparentMS, &QRadioButton::toggled, this, &TFwizard::ModeClick);
    connect(ui->SMS_MS, &QRadioButton::toggled, this, &TFwizard::ModeClick);
    connect(ui->Next, &QPushButton::clicked, this, &TFwizard::NextClick);
    connect(ui->Back, &QPushButton::clicked, this, &TFwizard::BackClick);
    connect(ui->Cancel, &QPushButton::clicked, this, &TFwizard::CancelClick);

    FixSizeAndCentre(this);
}

TFwizard::~TFwizard() {
    if (Fwizard == this)
        Fwizard = nullptr;
}

void TFwizard::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

void TFwizard::Config_serialClick(bool ticked) {
    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, ticked);
    SetComboEnabled(ui->ComboBox3, ticked && ui->ComboBox5->currentIndex() != 1);
}

void TFwizard::ComboBox5Change(int) {
    ApplyTwoStopBitsRule(ui->ComboBox5, ui->ComboBox3);
}

void TFwizard::SMS_IN_Data_ModeClick(bool ticked) {
    SetSmsGroupEnabled(ui->GroupBox4, ui->SMSc1, ui->SMSc2, ticked);
}

void TFwizard::SMS_OUT_Data_ModeClick(bool ticked) {
    SetSmsGroupEnabled(ui->GroupBox5, ui->SMSt1, ui->SMSt2, ticked);
}

void TFwizard::ModeClick(bool ticked) {
    if (ticked)
        ui->Next->setVisible(true);
}

void TFwizard::ShowTitles(int step) {
    static const QString welcome = QStringLiteral("Welcome to the Vantro Modem Wizard");
    static const QString useThis =
        QStringLiteral("Use this wizard to set up your Vantro Q8600 cellular modem.");
    const std::array<QString, 4> lines[] = {
        {welcome, useThis, QString(), QString()},
        {welcome, useThis, QStringLiteral("Please select mode that you would like set up"), QString()},
        {QStringLiteral("Configure the Serial Interface"),
         QStringLiteral("Set up new serial communication parameters"), QString(), QString()},
        {QStringLiteral("PIN and Band Management"), QString(), QString(), QString()},
        {QStringLiteral("SMS Tunnel Mode Settings"),
         QStringLiteral(
             "SMS Data Mode creates a data tunnel for low-speed and non-time-critical applications to "),
         QStringLiteral("send data over SMS service provided by a carrier."), QString()},
    };
    const auto& shown = lines[step];
    ui->TitleL1->setText(shown[0]);
    ui->TitleL2->setText(shown[1]);
    ui->TitleL3->setText(shown[2]);
    ui->TitleL4->setText(shown[3]);
}

bool TFwizard::HiddenModeTicked() const {
    return ui->AutoDialMS->isChecked() || ui->TCP_ServerMS->isChecked() || ui->Real_ComMS->isChecked();
}

void TFwizard::ShowPage(QWidget* page) {
    ui->PageControl1->setCurrentWidget(page);
}

void TFwizard::ShowMainWindow() {
    if (Fmainset) {
        Fmainset->show();
        Fmainset->ui->PageControl1->setCurrentWidget(Fmainset->ui->TabSheet1);
    }
    hide();
}

void TFwizard::NextClick() {
    if (ui->RadioButton1->isChecked()) {
        ShowMainWindow();
        return;
    }
    if (ui->RadioButton3->isChecked()) {
        LoadExistingFile();
        ui->Back->hide();
        return;
    }
    if (!ui->RadioButton2->isChecked())
        return;

    if (!HiddenModeTicked())
        ++WizardStep;
    QWidget* const page = ui->PageControl1->currentWidget();
    const bool transparent = ui->TransparentMS->isChecked();
    const bool sms = ui->SMS_MS->isChecked();
    if (WizardStep == 1) {
        ui->Back->show();
        ShowPage(ui->Wizard3ModeSel);
        ShowTitles(1);
    } else if (WizardStep == 2 && page == ui->Wizard3ModeSel && (transparent || sms)) {
        ShowPage(ui->Wizard4ComSet);
        ShowTitles(2);
    } else if (WizardStep == 3 && page == ui->Wizard4ComSet && (transparent || sms)) {
        ShowPage(ui->Wizard5PIN);
        ShowTitles(3);
    } else if (WizardStep == 4 && page == ui->Wizard5PIN && sms) {
        ShowPage(ui->Wizard6SMS);
        ShowTitles(4);
    } else if ((WizardStep == 5 && page == ui->Wizard6SMS && sms) ||
               (WizardStep == 4 && page == ui->Wizard5PIN && transparent)) {
        hide();
        if (Fmainset)
            Fmainset->show();
        WizardStep = 0;
        if (Fmainset)
            CopyWizardToMainForm();
    }
}

void TFwizard::BackClick() {
    if (!HiddenModeTicked())
        --WizardStep;
    if (!ui->RadioButton2->isChecked())
        return;
    QWidget* const page = ui->PageControl1->currentWidget();
    if (page == ui->Wizard4ComSet && WizardStep == 1) {
        ShowPage(ui->Wizard3ModeSel);
        ShowTitles(1);
    } else if (page == ui->Wizard3ModeSel && WizardStep == 0) {
        ShowPage(ui->MainWizard1);
        ui->Back->hide();
        ShowTitles(0);
    } else if (page == ui->Wizard5PIN && WizardStep == 2) {
        ShowPage(ui->Wizard4ComSet);
        ShowTitles(2);
    } else if (page == ui->Wizard6SMS && WizardStep == 3) {
        ShowPage(ui->Wizard5PIN);
        ShowTitles(3);
    }
}

void TFwizard::CancelClick() {
    WizardStep = 0;
    ShowMainWindow();
}

void TFwizard::LoadExistingFile() {
    const QString path = gui::fileDialogs().openFile(
        QString(), QString(), gui::qtFilter(QStringLiteral("Txt files (*.txt)|*.txt")));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        gui::messenger().show(
            QStringLiteral("Load Configurator Existing File Error"),
            path + gui::fromLocal8(
                       "\nFound Configurator file error\xA1\x43\nPlease confirm the file name\xA1\x43\n"),
            gui::Icon::Warning);
        WizardStep = 0;
        return;
    }
    if (Fmainset)
        Fmainset->show();
    hide();
    const int result = LoadConfigFile(QFile::encodeName(path).toStdString());
    const char* message = nullptr;
    if (result == -1)
        message = "The file is empty.";
    else if (result == -2)
        message = "Invalid Configurator File, Please check that you selected file.";
    else if (result == 0 && Fmainset && Fmainset->EmptyValueCount == kConfigKeyCount)
        message = "Load Configurator File Format Error";
    if (message) {
        WizardStep = 0;
        gui::messenger().showPlain(QString::fromLatin1(message));
    }
}
