#pragma once
// The connect dialog: port and line settings for the pending operation.

#include "Rs232_setup.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

namespace Ui {
class TFconnect;
}

class TFconnect : public QDialog {
    Q_OBJECT
public:
    explicit TFconnect(QWidget* parent = nullptr);
    ~TFconnect() override;

    // The form's controls, each also found by its name with findChild.
    std::unique_ptr<Ui::TFconnect> ui;

    std::int32_t XmodemResult = 0;
    std::int32_t UpgradeResult = 0;
    // Written by the detection worker and by Cancel on the GUI thread without a call between them.
    std::atomic<std::int32_t> AutoDetectResult{0};
    std::int32_t MonitorOpenedPort = 0;
    std::int32_t ApplyResult = 0;
    std::int32_t ReadResult = 0;
    std::int32_t RestoreResult = 0;
    QString OldFirmwareFile;
    QString ApVersion;
    QString ApBuild;
    QString ApModel;

    // The port and line choices as the serial link takes them, with the pending read flag of the
    // main settings window. GUI thread only.
    LinkSettings CurrentLinkSettings() const;

    // The check box was ticked or unticked, by the user or by the dialog.
    void AutoDetectClick(bool ticked);

private:
    void ComboBox5Change(int index);
};

extern TFconnect* Fconnect;
