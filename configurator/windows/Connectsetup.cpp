#include "Connectsetup.h"

#include "ui_TFconnect.h"

#include "control_style.h"
#include "Mainsetup.h"
#include "Wdatacollect.h"

TFconnect* Fconnect = nullptr;

TFconnect::TFconnect(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFconnect>()) {
    ui->setupUi(this);
    Fconnect = this;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Item n-1 is COMn.
    for (int n = 1; n <= 256; ++n)
        ui->ComboBox1->addItem(QStringLiteral("COM%1").arg(n));
    ui->ComboBox1->setCurrentIndex(0);
    for (QComboBox* c :
         {ui->ComboBox1, ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, true);

    connect(ui->AutoDetect, &QCheckBox::toggled, this, &TFconnect::AutoDetectClick);
    connect(ui->ComboBox5, &QComboBox::activated, this, &TFconnect::ComboBox5Change);

    FixSizeAndCentre(this);
}

TFconnect::~TFconnect() {
    if (Fconnect == this)
        Fconnect = nullptr;
}

LinkSettings TFconnect::CurrentLinkSettings() const {
    const auto text = [](const QComboBox* c) { return c->currentText().toLatin1().toStdString(); };
    LinkSettings s;
    s.PortIndex = ui->ComboBox1->currentIndex();
    s.PortText = text(ui->ComboBox1);
    s.BaudIndex = ui->ComboBox2->currentIndex();
    s.BaudText = text(ui->ComboBox2);
    s.ParityText = text(ui->ComboBox3);
    s.DataBitsText = text(ui->ComboBox4);
    s.StopBitsText = text(ui->ComboBox5);
    s.FlowText = text(ui->ComboBox6);
    s.OpRead = Fmainset && Fmainset->OpRead == 1;
    s.AutoDetect = ui->AutoDetect->isChecked();
    return s;
}

void TFconnect::AutoDetectClick(bool ticked) {
    if (ticked) {
        ui->AutoDetectWarn1->setText(QStringLiteral("Please hang up or remove SIM card"));
        ui->AutoDetectWarn2->setText(QStringLiteral("This will take a few minutes."));
    } else {
        ui->AutoDetectWarn1->clear();
        ui->AutoDetectWarn2->clear();
    }
    // The scan sets these four itself; the flow-control box stays free.
    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5})
        SetComboEnabled(c, !ticked);
    if (ticked)
        ui->ComboBox1->setFocus();
    if (ui->ComboBox5->currentText() == QLatin1String("2"))
        LockParityAtNone(ui->ComboBox3);
}

void TFconnect::ComboBox5Change(int) {
    ApplyTwoStopBitsRule(ui->ComboBox5, ui->ComboBox3);
}
