#include "TransferDialogs.h"

#include "seriallib.h"
#include "TransferWorker.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace halvic {

namespace {

QString fromPathText(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

TransferProgressDlg::TransferProgressDlg(const QString& title, const QString& buttonText, bool transmit,
                                         int port, std::shared_ptr<TransferStop> stop, QWidget* parent)
    : QDialog(parent), transmit_(transmit), port_(port), stop_(std::move(stop)), rows_(new QFormLayout),
      button_(new QPushButton(buttonText, this)) {
    setWindowTitle(title);
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows_);
    layout->addWidget(button_, 0, Qt::AlignHCenter);
    button_->setDefault(true);
    connect(button_, &QPushButton::clicked, this, &TransferProgressDlg::stopTransfer);
}

QLabel* TransferProgressDlg::addRow(const QString& label, const QString& name, const QString& text) {
    auto* value = new QLabel(text, this);
    value->setObjectName(name);
    value->setMinimumWidth(220);
    rows_->addRow(label, value);
    return value;
}

void TransferProgressDlg::addBar() {
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("bar"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    rows_->addRow(bar_);
}

void TransferProgressDlg::setBar(int percent) {
    if (bar_)
        bar_->setValue(std::clamp(percent, 0, 100)); // a peer may send more than it announced
}

QString TransferProgressDlg::field(const QString& name) const {
    const auto* label = findChild<QLabel*>(name);
    return label ? label->text() : QString();
}

void TransferProgressDlg::Create() {
    adjustSize();
    if (const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
        move(owner->frameGeometry().center() - rect().center());
    show();
    raise();
    repaint();
}

void TransferProgressDlg::DestroyWindow() {
    hide();
    deleteLater();
}

void TransferProgressDlg::stopTransfer() {
    if (transmit_)
        SerialAbortTransmit(port_);
    else
        SerialAbortReceive(port_);
    stop_->set();
}

void TransferProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    stopTransfer();
}

CTransmitFileDlg::CTransmitFileDlg(const QString& portName, int port, const QString& fileName, int protocol,
                                   std::shared_ptr<TransferStop> stop, QWidget* parent)
    : TransferProgressDlg(QStringLiteral("Transmit File"), QStringLiteral("Cancel"), true, port,
                          std::move(stop), parent) {
    setObjectName(QStringLiteral("CTransmitFileDlg"));
    addRow(QStringLiteral("Protocol :"), QStringLiteral("protocol"), ProtocolName(protocol));
    addRow(QStringLiteral("Port :"), QStringLiteral("port"), portName);
    addRow(QStringLiteral("File Name :"), QStringLiteral("fileName"), fileName);
    size_ = addRow(QStringLiteral("File Size :"), QStringLiteral("fileSize"), QStringLiteral("0"));
    length_ = addRow(QStringLiteral("Transmit Length :"), QStringLiteral("length"), QStringLiteral("0"));
    addBar();
}

void CTransmitFileDlg::showProgress(const TransferProgress& progress) {
    setBar(progress.percent);
    size_->setText(QString::number(progress.total));
    length_->setText(QString::number(progress.done));
    repaint();
}

CReceiveFileDlg::CReceiveFileDlg(const QString& portName, int port, const QString& folder, int protocol,
                                 std::shared_ptr<TransferStop> stop, QWidget* parent)
    : TransferProgressDlg(QStringLiteral("Receive File"), QStringLiteral("Cancel"), false, port,
                          std::move(stop), parent),
      folder_(folder) {
    setObjectName(QStringLiteral("CReceiveFileDlg"));
    addRow(QStringLiteral("Protocol :"), QStringLiteral("protocol"), ProtocolName(protocol));
    addRow(QStringLiteral("Port :"), QStringLiteral("port"), portName);
    name_ = addRow(QStringLiteral("File Name :"), QStringLiteral("fileName"), folder);
    size_ = addRow(QStringLiteral("File Size :"), QStringLiteral("fileSize"), QStringLiteral("0"));
    length_ = addRow(QStringLiteral("Receive Length :"), QStringLiteral("length"), QStringLiteral("0"));
    addBar();
}

void CReceiveFileDlg::showProgress(const TransferProgress& progress) {
    setBar(progress.percent);
    size_->setText(QString::number(progress.total));
    length_->setText(QString::number(progress.done));
    name_->setText(folder_ + fromPathText(progress.path));
    repaint();
}

CReceiveStatusDlg::CReceiveStatusDlg(const QString& portName, int port, const QString& path, int protocol,
                                     std::shared_ptr<TransferStop> stop, QWidget* parent)
    : TransferProgressDlg(QStringLiteral("Receive File"), QStringLiteral("Stop"), false, port,
                          std::move(stop), parent) {
    setObjectName(QStringLiteral("CReceiveStatusDlg"));
    addRow(QStringLiteral("Protocol :"), QStringLiteral("protocol"), ProtocolName(protocol));
    addRow(QStringLiteral("Port :"), QStringLiteral("port"), portName);
    name_ = addRow(QStringLiteral("File Name :"), QStringLiteral("fileName"), path);
    length_ = addRow(QStringLiteral("Receive Length :"), QStringLiteral("length"), QStringLiteral("0"));
}

void CReceiveStatusDlg::showProgress(const TransferProgress& progress) {
    length_->setText(QString::number(progress.done));
    name_->setText(fromPathText(progress.path));
    repaint();
}

} // namespace halvic
