#include "TransmitPatternDlg.h"

#include "ControlIds.h"
#include "PatternSendThread.h"
#include "seriallib.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace halvic {

namespace {

QLabel* value(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

CTransmitPatternDlg::CTransmitPatternDlg(int port, std::shared_ptr<StopSignal> stop, const QString& portName,
                                         const QString& patternText, const QString& repeatText,
                                         QWidget* parent)
    : QDialog(parent), port_(port), stop_(std::move(stop)) {
    setObjectName(QStringLiteral("CTransmitPatternDlg"));
    setWindowTitle(QStringLiteral("Transmit Pattern"));
    setModal(false);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    setFont(f);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Port:"), value(portName, kIdcTransmitPort, this));
    form->addRow(QStringLiteral("Transmit Pattern(Hex): "), value(patternText, kIdcTransmitPattern, this));
    form->addRow(QStringLiteral("Repeat Count :"), value(repeatText, kIdcTransmitRepeatCount, this));
    count_ = value(QString(), kIdcTransmitCount, this);
    form->addRow(QStringLiteral("Transmit Count :"), count_);
    auto* stopButton = new QPushButton(QStringLiteral("Stop"), this);
    stopButton->setObjectName(QStringLiteral("stop"));
    stopButton->setDefault(true);
    connect(stopButton, &QPushButton::clicked, this, &CTransmitPatternDlg::OnStop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(stopButton, 0, Qt::AlignHCenter);
}

QString CTransmitPatternDlg::transmitCountText() const {
    return count_->text();
}

void CTransmitPatternDlg::OnPatternProgress(long count) {
    count_->setText(QString::number(count));
    repaint();
}

void CTransmitPatternDlg::OnStop() {
    // Queued bytes go first, so the line stops at once rather than when the queue has drained.
    SerialAbortTransmit(port_);
    stop_->set();
}

void CTransmitPatternDlg::accept() {
    OnStop();
}

void CTransmitPatternDlg::reject() {
    OnStop();
}

void CTransmitPatternDlg::closeEvent(QCloseEvent* event) {
    OnStop();
    event->ignore();
}

} // namespace halvic
