// The connect dialog's firmware upgrade: the checks and the preparation on the dialog's port, then
// one of the two workers under a status window, and the message of their outcome.
#include "Connectsetup.h"

#include "ui_TFconnect.h"

#include "Configstruct.h"
#include "firmware_download.h"
#include "gui.h"
#include "install_layout.h"
#include "Loadthread.h"
#include "Mainsetup.h"
#include "Progressivebar.h"
#include "seriallib.h"
#include "Upgoldverthread.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

namespace {

constexpr int kModelQ8690I = 0x0001;
constexpr int kModelQ8630 = 0x0101;

int send(std::string_view command) {
    return SendAtExpectOk(command.data(), int(command.size()));
}

int send(std::string_view command, int reads) {
    return SendAtExpectOkTries(command.data(), int(command.size()), reads);
}

bool writableFolder(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isDir() && info.isWritable();
}

// The Documents folder, else the home folder; empty when neither can take a file.
QString downloadFolder() {
    const QString docs = shell::documentsFolder();
    if (writableFolder(docs))
        return docs;
    const QString home = qEnvironmentVariable("HOME");
    return writableFolder(home) ? home : QString();
}

bool imageFitsModem(int modelCode, int road) {
    return (modelCode == kModelQ8690I && (road == 1 || road == 2)) || (modelCode == kModelQ8630 && road == 3);
}

void showStatus(TFprogressbar& status, const QString& title, const QString& text) {
    status.ProgressBar1->setValue(0);
    status.StatusTitle->setText(title);
    status.StatusContent->setText(text);
}

} // namespace

int TFconnect::Fconn_Old_Ver_Upg() {
    OldFirmwareFile.clear();
    if (!Fmainset)
        return -1;
    std::string path;
    const int r = WriteDownloadFile(QFile::encodeName(Fmainset->FirmwareFile).toStdString(),
                                    Fmainset->FirmwareFileSize, Fmainset->FirmwareChecksum,
                                    QFile::encodeName(downloadFolder()).toStdString(), path);
    OldFirmwareFile = QFile::decodeName(QByteArray::fromStdString(path));
    return r;
}

UpgradeJob TFconnect::upgradeJob(const QString& file) const {
    UpgradeJob job;
    job.port = ui->ComboBox1->currentIndex() + 1;
    job.file = QFile::encodeName(file).toStdString();
    // The transfer runs under the flow control the modem was reached with.
    job.flowBits = ui->ComboBox6->currentIndex() == 1 ? SerialFlowRtsCts : 0;
    return job;
}

void TFconnect::StartUpgrade() {
    XmodemResult = 0;
    // A verdict of an earlier run must never be read as this one's.
    UpgradeResult = 0;
    hide();
    auto status = std::make_unique<TFprogressbar>();
    SleepMs(20);
    showStatus(*status, QStringLiteral("Upgrade Firmware To Modem"), QStringLiteral("Initial..."));
    status->show();
    status->repaint();

    int dcd = 0;
    const int road = prepareUpgrade(*status, dcd);
    if (road == 0)
        return;
    if (dcd == 0 && IsDcdOn() == 1) {
        // The SMS tunnel came up meanwhile: no upgrade, and the port is not left open.
        CloseComPort();
    } else if (road == 2) {
        if (Fconn_Old_Ver_Upg() <= 0) {
            CloseComPort();
        } else {
            send("at&w\r\n", 1);
            SleepMs(30);
            OldUpgradeWorker = std::make_unique<UpgOldVersion1Thread>(upgradeJob(OldFirmwareFile));
            OldUpgradeWorker->setObjectName(QStringLiteral("UpgOldVersion1Thread"));
            SleepMs(30);
            OldUpgradeWorker->start();
            runUpgradeWorker(status, OldUpgradeWorker.get());
            XmodemResult = OldUpgradeWorker->xmodemResult();
            UpgradeResult = OldUpgradeWorker->upgradeResult();
            OldUpgradeWorker.reset();
            QFile::remove(OldFirmwareFile);
        }
    } else {
        // The worker opens the port again through the serial library.
        CloseComPort();
        SleepMs(50);
        LoadJobFlags flags;
        flags.upgrade = true;
        LoadWorker = std::make_unique<LoadThread>(flags, ApModel.toLatin1().toStdString());
        LoadWorker->setObjectName(QStringLiteral("LoadThread"));
        LoadWorker->setUpgrade(upgradeJob(Fmainset->FirmwareFile));
        LoadWorker->start(QThread::HighestPriority);
        SleepMs(50);
        runUpgradeWorker(status, LoadWorker.get());
        XmodemResult = LoadWorker->xmodemResult();
        UpgradeResult = LoadWorker->upgradeResult();
        LoadWorker.reset();
    }
    SleepMs(10);
    if (XmodemResult < 0) {
        say(QStringLiteral("Download Firmware Failure"));
    } else if (UpgradeResult > 0) {
        WizardData_Default();
        say(QStringLiteral("Upgrade Firmware Complete"));
    } else {
        say(QStringLiteral("Upgrade Firmware Failure"));
    }
}

int TFconnect::prepareUpgrade(TFprogressbar& status, int& dcd) {
    SetLinkSettings(CurrentLinkSettings());
    if (OpenComPort() == 0) {
        status.hide();
        say(kNoPort);
        return 0;
    }
    const auto fail = [&](const QString& text) {
        status.hide();
        CloseComPort();
        say(text);
        return 0;
    };
    SleepMs(30);
    dcd = GET_DCD_Status();
    if (GET_CTS_Status() == 0 && dcd == 0)
        return fail(kNoModem);

    const int esc = EscapeToCommandMode();
    SleepMs(20);
    int ok = 0;
    if (esc == 2) {
        if (dcd == 1)
            send("ath\r\n", 1);
        ok = 1;
        SleepMs(20);
    } else {
        ok = send("ate1\r\n");
    }
    if (esc == 0 || ok == 0)
        return fail(
            QStringLiteral("No response from modem. Please check baud rate and data format settings."));

    status.StatusContent->setText(QStringLiteral("Checking version..."));
    status.StatusContent->repaint();
    const int road = Fconn_APVER_INFO();
    if (road <= 0)
        return fail(QStringLiteral("Please contact BREL Corp."));
    if (!imageFitsModem(Fmainset ? Fmainset->FirmwareModelCode : 0, road))
        return fail(QStringLiteral("Model and Firmware not match."));

    if (dcd == 1) {
        send("at*stopsms\r\n");
        SleepMs(50);
        send("ath\r\n");
        SleepMs(50);
    }
    status.repaint();
    moveToUpgradeLine();
    return road;
}

void TFconnect::moveToUpgradeLine() {
    const LinkSettings link = CurrentLinkSettings();
    const bool eightNoneOne =
        link.DataBitsText == "8" && link.ParityText == "None" && link.StopBitsText == "1";
    if (link.BaudIndex == kBaudIndex115200) {
        // The transfer runs at 8N1: another framing at this rate is moved as well.
        if (!eightNoneOne) {
            PurgeReceive();
            send("at+icf=3,4\r\n", 3);
            SetOpenPortLine(std::nullopt, true);
        }
        return;
    }
    send("at+wind=0\r\n");
    SleepMs(20);
    send("at+ipr=115200\r\n");
    SetOpenPortLine(115200, false);
    SetPortTimeouts(kFastLineTimeouts);
    SleepMs(20);
    PurgeReceive();
    send("at+icf=3,4\r\n", 3);
    SetOpenPortLine(std::nullopt, true);
}

void TFconnect::runUpgradeWorker(std::unique_ptr<TFprogressbar>& first, QThread* worker) {
    // The worker's first window calls wait for the second window's modal loop: nothing here may
    // serve them before it runs.
    first->hide();
    first.reset();
    if (Fmainset)
        Fmainset->repaint();
    first = std::make_unique<TFprogressbar>();
    showStatus(*first, QStringLiteral("Upgrade Modem Firmware"), QStringLiteral("Initial..."));
    gui::execModal(first.get());
    gui::waitPumping(worker);
    gui::resetModal(first.get());
}
