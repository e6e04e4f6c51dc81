#pragma once
// The worker of an old-firmware upgrade (versions 1.0.0 and 1.0.1). It takes over the port the
// connect dialog left open at 115200, stops the modem's application, closes the port, sends the
// download file over the serial library's port after "at+wdwl", restarts the modem and has it
// install the new firmware with "at*default". Status texts and progress go through the installed
// EngineView; the last act ends the status window's modal loop.

#include "upgrade_steps.h"

#include <QThread>

#include <atomic>

class UpgOldVersion1Thread : public QThread {
    Q_OBJECT
public:
    // job.file: the download file; empty when the conversion failed.
    explicit UpgOldVersion1Thread(UpgradeJob job, QObject* parent = nullptr);

    // -12 without a download file, else the transfer's code (negative: failed); 0 when the
    // library port did not open or could not be set. Final once the thread has finished.
    int xmodemResult() const { return xmodemResult_.load(); }
    // The modem's verdict: 1 installed, -1 failed, 0 none seen. Final once finished.
    int upgradeResult() const { return upgradeResult_.load(); }

protected:
    void run() override;

private:
    void download(int port);
    void restartModem(int port);
    void watchInstall(int port);

    UpgradeJob job_;
    std::atomic<int> xmodemResult_{0};
    std::atomic<int> upgradeResult_{0};
};
