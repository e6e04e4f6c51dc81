#include "Rf_monitor.h"

#include "ui_TFrf_monitor.h"

#include "control_style.h"

TFrf_monitor* Frf_monitor = nullptr;

TFrf_monitor::TFrf_monitor(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrf_monitor>()), RF_Timer1(new QTimer(this)) {
    ui->setupUi(this);
    Frf_monitor = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    RF_Timer1->setObjectName(QStringLiteral("RF_Timer1"));
    RF_Timer1->setInterval(5000);

    for (QFrame* bar : {ui->Shape1, ui->Shape2, ui->Shape3}) {
        QPalette p = bar->palette();
        p.setColor(QPalette::Window, Qt::white);
        bar->setPalette(p);
    }

    connect(ui->FiveSec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);
    connect(ui->TenSec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);
    connect(ui->ThirtySec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);

    FixSizeAndCentre(this);
}

TFrf_monitor::~TFrf_monitor() {
    if (Frf_monitor == this)
        Frf_monitor = nullptr;
}

void TFrf_monitor::IntervalClick(bool ticked) {
    if (!ticked)
        return;
    if (ui->FiveSec->isChecked())
        RF_Timer1->setInterval(5000);
    else if (ui->TenSec->isChecked())
        RF_Timer1->setInterval(10000);
    else if (ui->ThirtySec->isChecked())
        RF_Timer1->setInterval(30000);
}
