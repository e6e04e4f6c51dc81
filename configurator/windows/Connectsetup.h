#pragma once
// The connect dialog: port and line settings for the pending operation.

#include "Rs232_setup.h"
#include "upgrade_steps.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

class AutoDetectThread;
class LoadThread;
class TFprogressbar;
class UpgOldVersion1Thread;
class QThread;

// The model and firmware class of an "at*apver" reply: 1 Q8690I with current firmware, 2 Q8690I
// with firmware exactly 1.0.0 or 1.0.1, 3 Q8630, -1 the modem answered "ERROR", 0 nothing usable
// yet.
int ClassifyApverReply(std::string_view reply);

// The message of an operation's result code; an unknown code has the no-response text.
enum class OperationKind { Apply, Read, Restore };
QString OperationResultMessage(OperationKind kind, int code);

// The messages of a port that does not open and of a port without a modem.
extern const QString kNoPort;
extern const QString kNoModem;

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

    // The worker of an upgrade (new firmware), apply, read or restore while it runs; null otherwise.
    std::unique_ptr<LoadThread> LoadWorker;
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
    // The running scan; null otherwise.
    std::unique_ptr<AutoDetectThread> AutoDetectWorker;
    // The worker of an old-firmware upgrade while it runs; null otherwise.
    std::unique_ptr<UpgOldVersion1Thread> OldUpgradeWorker;

    // Shows the dialog modeless as the owner's own: the window manager keeps it above the owner.
    void showOver(QWidget* owner);

    // The port and line choices as the serial link takes them, with the pending read flag of the
    // main settings window. GUI thread only.
    LinkSettings CurrentLinkSettings() const;

    // The check box was ticked or unticked, by the user or by the dialog.
    void AutoDetectClick(bool ticked);

    // Runs the scan when automatic detection is ticked, else the pending operation.
    void OKF3BtnClick();
    // Cancels a running scan (or unticks the box), or drops the pending operation and hides.
    void CancelF3BtnClick();

    // Asks the open port's modem for its model and firmware (ClassifyApverReply's codes).
    int Fconn_APVER_INFO();
    // Writes the download file of an old-firmware upgrade into the Documents folder (the home folder
    // when there is none) and sets OldFirmwareFile: 1 done; -1 no image; -2 no free name; -3 not
    // written whole or wrong sum (nothing left behind); -4 no writable folder.
    int Fconn_Old_Ver_Upg();
    // Puts the main settings window's controls back to the modem's factory values.
    void WizardData_Default();
    // 1 when the open port shows CTS or carrier detect, else 0 (also without a port).
    int GET_CTS_Status();
    int GET_DCD_Status();

    // The close box and Escape: Cancel while a scan runs, else the dialog is hidden.
    void reject() override;

private:
    void ComboBox5Change(int index);

    void runDetection();
    // The boxes at the factory line, 115200 8-N-1.
    void selectFactoryLine();
    // Apply, read or restore: open, check the lines, run the worker under a modal status window,
    // close the port and show the result.
    void runLoadOperation(OperationKind kind);
    // Opens the port of the boxes and checks for a modem on it; false after the message.
    bool openAndCheckModem();
    // The firmware upgrade: checks and prepares the modem, runs the worker of its road under a
    // status window and shows the outcome.
    void StartUpgrade();
    // The checks before a worker runs; the road's code of Fconn_APVER_INFO (1, 2 or 3) or 0 after
    // the failure's message. status is hidden on every failure.
    int prepareUpgrade(TFprogressbar& status, int& dcd);
    // Brings modem and port to 115200 8N1 for the transfer.
    void moveToUpgradeLine();
    // Ends the first status window and runs the worker under the second until it ends it.
    void runUpgradeWorker(std::unique_ptr<TFprogressbar>& first, QThread* worker);
    UpgradeJob upgradeJob(const QString& file) const;
    void StartMonitor();
    void say(const QString& text);
};

extern TFconnect* Fconnect;
