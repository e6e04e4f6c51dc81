#include "Mainwizard1.h"

#include "ui_TFwizard.h"

#include "control_style.h"
#include "key_filters.h"
#include "phone_rules.h"
#include "Wdatacollect.h"
#include "window_texts.h"

#include <QCloseEvent>

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

namespace {

void setSmsGroup(QWidget* group, QLineEdit* no1, QLineEdit* no2, bool on) {
    group->setEnabled(on);
    SetControlColour(group, on ? ControlColour::BtnFace : ControlColour::Light3D);
    SetControlColour(no1, on ? ControlColour::Window : ControlColour::Light3D);
    SetControlColour(no2, on ? ControlColour::Window : ControlColour::Light3D);
}

} // namespace

void TFwizard::SMS_IN_Data_ModeClick(bool ticked) {
    setSmsGroup(ui->GroupBox4, ui->SMSc1, ui->SMSc2, ticked);
}

void TFwizard::SMS_OUT_Data_ModeClick(bool ticked) {
    setSmsGroup(ui->GroupBox5, ui->SMSt1, ui->SMSt2, ticked);
}

void TFwizard::ModeClick(bool ticked) {
    if (ticked)
        ui->Next->setVisible(true);
}
