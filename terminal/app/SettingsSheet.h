// The settings sheet of a port window, "Property": line, terminal, file-transfer and capture pages.
#pragma once

#include "PortRecords.h"

#include <QDialog>

class QTabWidget;

namespace halvic {

class CCapOpt;
class CHalvicDoc;
class COption;
class CPSet;
class CSettingsPage;
class CTransferOpt;

class CSetup : public QDialog {
    Q_OBJECT
public:
    explicit CSetup(QWidget* parent = nullptr);

    void LoadPages(const PortSettings& port, const TerminalSettings& terminal,
                   const TransferSettings& transfer, bool portFixed);
    void StorePages(PortSettings& port, TerminalSettings& terminal, TransferSettings& transfer);
    // Shows the sheet; true when it was left with OK.
    bool run();

    void accept() override;

private:
    CSettingsPage* page(int index) const;
    void pageChanged(int index);

    QTabWidget* tabs_;
    CPSet* portPage_;
    COption* terminalPage_;
    CTransferOpt* transferPage_;
    CCapOpt* capturePage_;
    int current_ = 0;
};

// Shows the sheet once for a document's records; true when they were changed. The document shows it
// again while the chosen port is in use.
bool RunSetupSheet(CHalvicDoc& doc, bool portFixed);

} // namespace halvic
