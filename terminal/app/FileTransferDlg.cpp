#include "FileTransferDlg.h"

#include "TransferWorker.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace halvic {

namespace {

// The last choice of this run.
int lastProtocol = 0;
int lastDirection = CFileTransferDlg::Transmit;

} // namespace

CFileTransferDlg::CFileTransferDlg(QWidget* parent)
    : QDialog(parent), protocols_(new QButtonGroup(this)), directions_(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("CFileTransferDlg"));
    setWindowTitle(QStringLiteral("File Transfer"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* protocolBox = new QGroupBox(QStringLiteral(" Protocol "), this);
    auto* protocolRows = new QVBoxLayout(protocolBox);
    for (int i = 0; i < ProtocolCount; ++i) {
        auto* radio = new QRadioButton(ProtocolName(i), protocolBox);
        radio->setObjectName(QStringLiteral("radio%1").arg(1023 + i));
        protocols_->addButton(radio, i);
        protocolRows->addWidget(radio);
    }
    auto* directionBox = new QGroupBox(QStringLiteral(" Direction "), this);
    auto* directionRows = new QVBoxLayout(directionBox);
    const char* names[] = {"Transmit", "Receive"};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(names[i]), directionBox);
        radio->setObjectName(QStringLiteral("radio%1").arg(1030 + i));
        directions_->addButton(radio, i);
        directionRows->addWidget(radio);
    }
    directionRows->addStretch();
    protocols_->button(lastProtocol)->setChecked(true);
    directions_->button(lastDirection)->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* groups = new QHBoxLayout;
    groups->addWidget(protocolBox);
    groups->addWidget(directionBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(buttons);
}

int CFileTransferDlg::protocol() const {
    return protocols_->checkedId();
}

int CFileTransferDlg::direction() const {
    return directions_->checkedId();
}

void CFileTransferDlg::accept() {
    lastProtocol = protocol();
    lastDirection = direction();
    QDialog::accept();
}

} // namespace halvic
