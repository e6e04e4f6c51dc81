#include "Rf_monitor.h"

#include "ui_TFrf_monitor.h"

#include "Connectsetup.h"
#include "control_style.h"
#include "gui.h"
#include "Input_data.h"
#include "Mainsetup.h"
#include "messenger.h"
#include "Rs232_setup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>

TFrf_monitor* Frf_monitor = nullptr;

namespace {

void paintBar(QFrame* bar, bool lit) {
    QPalette p = bar->palette();
    p.setColor(QPalette::Window, lit ? QColor(Qt::darkGreen) : QColor(Qt::white));
    bar->setPalette(p);
}

void colourLabel(QLabel* label, LabelColour colour) {
    if (colour == LabelColour::Unchanged)
        return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour == LabelColour::Red
                                         ? QColor(Qt::red)
                                         : QApplication::palette().color(QPalette::WindowText));
    label->setPalette(p);
}

// The monitor window as the worker and queries see it; every call runs on the GUI thread.
class MonitorWindowView : public MonitorView {
public:
    explicit MonitorWindowView(TFrf_monitor* window) : window_(window) {}

    void setOperator(const std::string& text, LabelColour colour) override {
        gui::call([&] {
            window_->ui->GSM_OperatorName->setText(QString::fromLatin1(text));
            colourLabel(window_->ui->GSM_OperatorName, colour);
        });
    }
    void setRegistration(const std::string& text, LabelColour colour) override {
        gui::call([&] {
            window_->ui->GSM_Registration->setText(QString::fromLatin1(text));
            colourLabel(window_->ui->GSM_Registration, colour);
        });
    }
    void setRssi(const std::string& text) override {
        gui::call([&] { window_->ui->RSSI->setText(QString::fromLatin1(text)); });
    }
    void setBars(int lit) override {
        gui::call([&] {
            paintBar(window_->ui->Shape3, lit >= 1);
            paintBar(window_->ui->Shape2, lit >= 2);
            paintBar(window_->ui->Shape1, lit >= 3);
        });
    }
    void repaint() override {
        gui::call([&] { window_->repaint(); });
    }
    std::string askPin() override {
        std::string pin;
        gui::call([&] {
            TFinput_data dialog;
            gui::execModal(&dialog);
            pin = dialog.InputLabelEdit->text().toLatin1().toStdString();
        });
        return pin;
    }
    void showMessage(const std::string& caption, const std::string& text) override {
        gui::call([&] { gui::messenger().show(QString::fromLatin1(caption), QString::fromLatin1(text)); });
    }
    void enablePollTimer() override {
        gui::call([&] {
            if (!window_->Closing())
                window_->RF_Timer1->start();
        });
    }
    MonitorFields& fields() override { return *window_; }

private:
    TFrf_monitor* window_;
};

} // namespace

TFrf_monitor::TFrf_monitor(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TFrf_monitor>()), RF_Timer1(new QTimer(this)) {
    ui->setupUi(this);
    Frf_monitor = this;
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    RF_Timer1->setObjectName(QStringLiteral("RF_Timer1"));
    RF_Timer1->setInterval(5000);

    for (QFrame* bar : {ui->Shape1, ui->Shape2, ui->Shape3})
        paintBar(bar, false);

    connect(ui->FiveSec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);
    connect(ui->TenSec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);
    connect(ui->ThirtySec, &QRadioButton::toggled, this, &TFrf_monitor::IntervalClick);
    connect(RF_Timer1, &QTimer::timeout, this, &TFrf_monitor::RF_Timer1Timer);
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFrf_monitor::BitBtn1Click);

    FixSizeAndCentre(this);
    setMonitorView(std::make_shared<MonitorWindowView>(this));
}

TFrf_monitor::~TFrf_monitor() {
    RF_Timer1->stop();
    if (MonitorWorker) {
        MonitorWorker->requestInterruption();
        gui::waitPumping(MonitorWorker.get());
    }
    if (Frf_monitor == this) {
        setMonitorView(nullptr);
        Frf_monitor = nullptr;
    }
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

void TFrf_monitor::RF_Timer1Timer() {
    if (!MonitorWorker || closing_)
        return;
    if (SimState < 0)
        MonitorWorker->QueryRegistration();
    else
        MonitorWorker->QuerySignalQuality();
}

void TFrf_monitor::ResetDisplay() {
    colourLabel(ui->GSM_Registration, LabelColour::WindowText);
    colourLabel(ui->GSM_OperatorName, LabelColour::WindowText);
    ui->GSM_Registration->clear();
    ui->RSSI->clear();
    ui->GSM_OperatorName->setText(QStringLiteral("Modem Initial"));
    for (QFrame* bar : {ui->Shape1, ui->Shape2, ui->Shape3})
        paintBar(bar, false);
}

void TFrf_monitor::StartWorker(bool opMonitor) {
    RF_Timer1->stop();
    if (MonitorWorker) {
        // The last opening's worker ended before its window closed; this only guards a repeat call.
        MonitorWorker->requestInterruption();
        gui::waitPumping(MonitorWorker.get());
    }
    MonitorWorker = std::make_unique<Rf_MonitorThread>(opMonitor);
    MonitorWorker->start();
}

void TFrf_monitor::BitBtn1Click() {
    CloseSequence(false);
}

void TFrf_monitor::closeEvent(QCloseEvent* event) {
    CloseSequence(true);
    event->accept();
}

void TFrf_monitor::CloseSequence(bool restoreTunnelAlways) {
    // Waiting for the worker serves events, so a second OK or close box may arrive meanwhile.
    if (closing_)
        return;
    closing_ = true;
    RF_Timer1->stop();
    repaint();
    if (MonitorWorker) {
        // The worker looks at this between its steps; until it has ended it owns the port.
        MonitorWorker->requestInterruption();
        gui::waitPumping(MonitorWorker.get());
    }

    if (EchoProbeResult == 1)
        SendAtExpectOkTries("ate0\r\n", 6, 3);
    if (SmsTunnelWasOn == 1 && (restoreTunnelAlways || DcdAtStart != 1))
        SendAtExpectOkTries("at*smstun=1\r\n", 13, 1);
    if (DcdAtStart != 0 && EscapeResult == 1)
        SendAtExpectOkTries("ato\r\n", 5, 3);
    hide();
    if (Fconnect && Fconnect->MonitorOpenedPort == 1) {
        CloseComPort();
        Fconnect->MonitorOpenedPort = 0;
    }
    if (Fmainset) {
        Fmainset->show();
        Fmainset->OpMonitor = 0;
    }
    RF_Timer1->stop();
    closing_ = false;
}

void ResetMonitorWindow() {
    if (Frf_monitor)
        Frf_monitor->ResetDisplay();
}

void StartMonitorOperation() {
    if (!Frf_monitor)
        return;
    if (Fconnect)
        Fconnect->hide();
    if (Fmainset)
        Fmainset->hide();
    // The flag is handed to the worker here, so the dialog may clear it as soon as this returns.
    Frf_monitor->StartWorker(Fmainset && Fmainset->OpMonitor != 0);
    Frf_monitor->show();
}
