#include "SettingsSheet.h"

#include "HalvicDoc.h"
#include "SettingsPages.h"

#include <QDialogButtonBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace halvic {

CSetup::CSetup(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CSetup"));
    setWindowTitle(QStringLiteral("Property"));
    tabs_ = new QTabWidget;
    // Every tab whole: the sheet widens to its tabs rather than hiding one behind scroll arrows.
    tabs_->tabBar()->setUsesScrollButtons(false);
    tabs_->tabBar()->setElideMode(Qt::ElideNone);
    portPage_ = new CPSet;
    terminalPage_ = new COption;
    transferPage_ = new CTransferOpt;
    capturePage_ = new CCapOpt;
    tabs_->addTab(portPage_, QStringLiteral("Communication Parameter"));
    tabs_->addTab(terminalPage_, QStringLiteral("Terminal"));
    tabs_->addTab(transferPage_, QStringLiteral("File Transfer"));
    tabs_->addTab(capturePage_, QStringLiteral("Capturing"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSetup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSetup::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &CSetup::pageChanged);
}

CSettingsPage* CSetup::page(int index) const {
    return static_cast<CSettingsPage*>(tabs_->widget(index));
}

void CSetup::LoadPages(const PortSettings& port, const TerminalSettings& terminal,
                       const TransferSettings& transfer, bool portFixed) {
    portPage_->LoadFrom(port, portFixed);
    terminalPage_->LoadFrom(terminal);
    transferPage_->LoadFrom(transfer);
    capturePage_->LoadFrom(transfer);
}

void CSetup::StorePages(PortSettings& port, TerminalSettings& terminal, TransferSettings& transfer) {
    portPage_->StoreTo(port);
    terminalPage_->StoreTo(terminal);
    transferPage_->StoreTo(transfer);
    capturePage_->StoreTo(transfer);
}

bool CSetup::run() {
    for (int i = 0; i < tabs_->count(); ++i)
        page(i)->OnInitDialog();
    current_ = tabs_->currentIndex();
    page(current_)->OnSetActive();
    // The close box and Escape reject the sheet, as Cancel does.
    return exec() == QDialog::Accepted;
}

void CSetup::pageChanged(int index) {
    if (index < 0)
        return;
    page(current_)->OnKillActive();
    current_ = index;
    page(current_)->OnSetActive();
}

void CSetup::accept() {
    page(current_)->OnKillActive();
    QDialog::accept();
}

bool RunSetupSheet(CHalvicDoc& doc, bool portFixed) {
    CSetup sheet;
    if (portFixed)
        sheet.LoadPages(doc.portSettings, doc.terminalSettings, doc.transferSettings, true);
    if (!sheet.run())
        return false;
    sheet.StorePages(doc.portSettings, doc.terminalSettings, doc.transferSettings);
    return true;
}

} // namespace halvic
