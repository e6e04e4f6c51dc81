#include "Connectsetup.h"

#include "ui_TFconnect.h"

#include "Autodetectthread.h"
#include "Configstruct_form.h"
#include "control_style.h"
#include "gui.h"
#include "Loadthread.h"
#include "Mainsetup.h"
#include "messenger.h"
#include "phone_rules.h"
#include "Progressivebar.h"
#include "Rf_monitor.h"
#include "ui_TFmainset.h"
#include "Upgoldverthread.h"
#include "Wdatacollect.h"
#include "window_texts.h"

#include <QLabel>
#include <QProgressBar>

#include <string>

TFconnect* Fconnect = nullptr;

const QString kNoPort = QStringLiteral("No such port or port is occupied by another program.");
const QString kNoModem =
    QStringLiteral("Modem not detected on this port. \nPlease verify connection and power.");

namespace {

const QString kNoResponse =
    QStringLiteral("No response from modem. Please check baud rate and data format setting.");

bool holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

QString fromValue(const std::string& v) {
    return QString::fromLatin1(v.data(), qsizetype(v.size()));
}

} // namespace

int ClassifyApverReply(std::string_view reply) {
    static constexpr std::string_view kQ8690 = "Q8690I ";
    if (const size_t at = reply.find(kQ8690); at != std::string_view::npos) {
        // The old road only for exactly these versions: "1.0.10" or "11.0.1" are not old.
        std::string_view version = reply.substr(at + kQ8690.size());
        if (!version.empty() && version.front() == 'v')
            version.remove_prefix(1);
        version = version.substr(0, version.find_first_of(" \r\n"));
        if (version == "1.0.0" || version == "1.0.1")
            return 2;
        return holds(reply, "build") ? 1 : 0;
    }
    if (holds(reply, "Q8630 "))
        return holds(reply, "build") ? 3 : 0;
    return holds(reply, "ERROR") ? -1 : 0;
}

QString OperationResultMessage(OperationKind kind, int code) {
    struct Texts {
        const char* success;
        const char* failed;
        const char* tunnel;
        const char* unknownModel;
    };
    static const Texts table[] = {
        {"Modem settings have been applied.",
         "Unable to apply modem settings. Please reboot modem and try again.",
         "Activating SMS Tunnel. Please try again in a moment.", "Vantro not detected."},
        {"Query modem status sucess.", "Query Failure. Please try again.",
         "Activating SMS Tunnel. Please try again in a moment.", "Vantro not detected."},
        {"Default settings have been applied. 115200 8-N-1",
         "Unable to apply default settings. Please try again.", "SMS Tunnel activated, Please try again.",
         "Modem not detected."},
    };
    const Texts& t = table[static_cast<int>(kind)];
    switch (code) {
    case 1:
        return QString::fromLatin1(t.success);
    case -1:
        return QString::fromLatin1(t.failed);
    case -3:
        return QString::fromLatin1(t.tunnel);
    case -4:
        return QString::fromLatin1(t.unknownModel);
    default:
        return kNoResponse;
    }
}

TFconnect::TFconnect(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TFconnect>()) {
    ui->setupUi(this);
    Fconnect = this;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Item n-1 is COMn.
    for (int n = 1; n <= 256; ++n)
        ui->ComboBox1->addItem(QStringLiteral("COM%1").arg(n));
    ui->ComboBox1->setCurrentIndex(0);
    for (QComboBox* c :
         {ui->ComboBox1, ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5, ui->ComboBox6})
        SetComboEnabled(c, true);

    connect(ui->AutoDetect, &QCheckBox::toggled, this, &TFconnect::AutoDetectClick);
    connect(ui->ComboBox5, &QComboBox::activated, this, &TFconnect::ComboBox5Change);
    connect(ui->OKF3Btn, &QPushButton::clicked, this, &TFconnect::OKF3BtnClick);
    connect(ui->CancelF3Btn, &QPushButton::clicked, this, &TFconnect::CancelF3BtnClick);

    FixSizeAndCentre(this);
}

TFconnect::~TFconnect() {
    if (Fconnect == this)
        Fconnect = nullptr;
}

void TFconnect::showOver(QWidget* owner) {
    if (owner && parentWidget() != owner)
        setParent(owner, windowFlags());
    show();
    raise();
    activateWindow();
}

LinkSettings TFconnect::CurrentLinkSettings() const {
    const auto text = [](const QComboBox* c) { return c->currentText().toLatin1().toStdString(); };
    LinkSettings s;
    s.PortIndex = ui->ComboBox1->currentIndex();
    s.PortText = text(ui->ComboBox1);
    s.BaudIndex = ui->ComboBox2->currentIndex();
    s.BaudText = text(ui->ComboBox2);
    s.ParityText = text(ui->ComboBox3);
    s.DataBitsText = text(ui->ComboBox4);
    s.StopBitsText = text(ui->ComboBox5);
    s.FlowText = text(ui->ComboBox6);
    s.OpRead = Fmainset && Fmainset->OpRead == 1;
    s.AutoDetect = ui->AutoDetect->isChecked();
    return s;
}

void TFconnect::AutoDetectClick(bool ticked) {
    if (ticked) {
        ui->AutoDetectWarn1->setText(QStringLiteral("Please hang up or remove SIM card"));
        ui->AutoDetectWarn2->setText(QStringLiteral("This will take a few minutes."));
    } else {
        ui->AutoDetectWarn1->clear();
        ui->AutoDetectWarn2->clear();
    }
    // The scan sets these four itself; the flow-control box stays free.
    for (QComboBox* c : {ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5})
        SetComboEnabled(c, !ticked);
    if (ticked)
        ui->ComboBox1->setFocus();
    if (ui->ComboBox5->currentText() == QLatin1String("2"))
        LockParityAtNone(ui->ComboBox3);
}

void TFconnect::ComboBox5Change(int) {
    ApplyTwoStopBitsRule(ui->ComboBox5, ui->ComboBox3);
}

void TFconnect::say(const QString& text) {
    gui::messenger().show(texts::ProgramTitle, text);
}

int TFconnect::GET_CTS_Status() {
    uint32_t status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        comm::Port* port = ComHandle();
        if (port != nullptr && port->getModemStatus(&status))
            return (status & comm::MsCtsOn) != 0 ? 1 : 0;
    }
    return 0;
}

int TFconnect::GET_DCD_Status() {
    uint32_t status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        comm::Port* port = ComHandle();
        if (port != nullptr && port->getModemStatus(&status))
            return (status & comm::MsRlsdOn) != 0 ? 1 : 0;
    }
    return 0;
}

int TFconnect::Fconn_APVER_INFO() {
    static constexpr char kCommand[] = "at*apver\r\n";
    for (int attempt = 0; attempt < 2; ++attempt) {
        comm::Port* port = ComHandle();
        if (port == nullptr)
            return 0;
        PurgeReceive();
        uint32_t written = 0;
        if (!port->write(kCommand, sizeof kCommand - 1, &written) || written != sizeof kCommand - 1)
            continue;
        for (int r = 0; r < 3; ++r) {
            std::string a;
            std::string b;
            ReadChunk(a, 30);
            SleepMs(20);
            ReadChunk(b, 30);
            const int v = ClassifyApverReply(a + b);
            if (v != 0)
                return v;
        }
    }
    return 0;
}

void TFconnect::WizardData_Default() {
    if (!Fmainset)
        return;
    auto& u = *Fmainset->ui;
    u.Config_serial->setChecked(false);
    u.ComboBox2->setCurrentIndex(9);
    // Not the "None" the window starts with.
    u.ComboBox6->setCurrentIndex(1);
    u.ComboBox4->setCurrentIndex(1);
    u.ComboBox5->setCurrentIndex(0);
    u.ComboBox3->setCurrentIndex(0);
    for (QLineEdit* e : {u.DeviceName, u.PIN1})
        e->clear();
    u.Build->clear();
    u.Ver->clear();
    u.wmbs5_rm->setChecked(true);
    PhoneNumberPair::Reset(u.SMSc1m, u.SMSc2m);
    PhoneNumberPair::Reset(u.SMSt1m, u.SMSt2m);
    u.SMS_IN_Data_Mode->setChecked(false);
    u.SMS_OUT_Data_Mode->setChecked(false);
    u.SMS_c7rm->setChecked(true);
    u.SMS_t7rm->setChecked(true);
    u.GSM_Ring_On->setChecked(false);
    u.DTR0_ignore->setChecked(true);
    u.GSM_P0->setChecked(true);
    for (QLineEdit* e : {u.CMD1, u.CMD2, u.CMD3, u.CMD4, u.CMD5, u.init1})
        e->clear();
}

void TFconnect::OKF3BtnClick() {
    if (Frf_monitor)
        Frf_monitor->RF_Timer1->stop();
    if (ui->AutoDetect->isChecked()) {
        runDetection();
        return;
    }
    if (!Fmainset) {
        hide();
        return;
    }
    if (Fmainset->OpUpgrade) {
        StartUpgrade();
        Fmainset->OpUpgrade = 0;
    } else if (Fmainset->OpApply) {
        runLoadOperation(OperationKind::Apply);
        Fmainset->OpApply = 0;
    } else if (Fmainset->OpRead) {
        runLoadOperation(OperationKind::Read);
        Fmainset->OpRead = 0;
    } else if (Fmainset->OpMonitor) {
        StartMonitor();
        Fmainset->OpMonitor = 0;
    } else if (Fmainset->OpRestore) {
        runLoadOperation(OperationKind::Restore);
        Fmainset->OpRestore = 0;
    } else {
        hide();
    }
}

void TFconnect::CancelF3BtnClick() {
    if (ui->AutoDetect->isChecked()) {
        ui->AutoDetectWarn1->clear();
        ui->AutoDetectWarn2->clear();
        AutoDetectResult = -1;
        // Only a running scan has a modal loop to end; a latched end would cut the next scan short.
        if (AutoDetectWorker) {
            AutoDetectWorker->cancel();
            gui::endModal(this, 1);
        }
        repaint();
        ui->OKF3Btn->setEnabled(true);
        ui->AutoDetect->setEnabled(true);
        ui->AutoDetect->setChecked(false);
        return;
    }
    ui->AutoDetect->setEnabled(true);
    if (Fmainset)
        Fmainset->OpUpgrade = Fmainset->OpApply = Fmainset->OpRead = Fmainset->OpMonitor =
            Fmainset->OpRestore = 0;
    hide();
}

void TFconnect::reject() {
    if (AutoDetectWorker) {
        CancelF3BtnClick();
        return;
    }
    QDialog::reject();
}

bool TFconnect::openAndCheckModem() {
    SetLinkSettings(CurrentLinkSettings());
    if (OpenComPort() == 0) {
        say(kNoPort);
        return false;
    }
    SleepMs(30);
    if (GET_CTS_Status() == 0 && GET_DCD_Status() == 0) {
        CloseComPort();
        say(kNoModem);
        return false;
    }
    return true;
}

void TFconnect::StartMonitor() {
    ResetMonitorWindow();
    hide();
    const bool ready = openAndCheckModem();
    // The monitor window closes the port when it closes, but only one that this opening left open.
    MonitorOpenedPort = ComHandle() != nullptr ? 1 : 0;
    if (ready)
        StartMonitorOperation();
}

void TFconnect::runLoadOperation(OperationKind kind) {
    auto status = std::make_unique<TFprogressbar>();
    status->ProgressBar1->setValue(0);
    hide();
    if (!openAndCheckModem())
        return;
    LoadJobFlags flags;
    flags.apply = kind == OperationKind::Apply;
    flags.read = kind == OperationKind::Read;
    flags.restore = kind == OperationKind::Restore;
    if (kind == OperationKind::Apply)
        ApplyResult = 0;
    if (kind == OperationKind::Restore) {
        status->ProgressBar1->setMaximum(6);
        status->StatusTitle->setText(QStringLiteral("Reset Modem To Defaults"));
        status->StatusContent->setText(QStringLiteral("Checking Modem Status..."));
    }
    LoadWorker = std::make_unique<LoadThread>(flags, ApModel.toLatin1().toStdString());
    LoadWorker->setObjectName(QStringLiteral("LoadThread"));
    if (kind == OperationKind::Apply) {
        // The worker writes its own copy: it never reads the window.
        CollectConfigFromForm();
        LoadWorker->setRecord(ConfigLines);
    }
    LoadWorker->start(QThread::HighestPriority);
    gui::execModal(status.get());
    // The worker's last act ended the loop; its thread may still be returning.
    gui::waitPumping(LoadWorker.get());
    const int code = LoadWorker->result();
    const ApVersionInfo info = LoadWorker->apInfo();
    LoadWorker.reset();
    gui::resetModal(status.get());
    ApVersion = fromValue(info.version);
    ApBuild = fromValue(info.build);
    ApModel = fromValue(info.model);
    switch (kind) {
    case OperationKind::Apply:
        ApplyResult = code;
        break;
    case OperationKind::Read:
        ReadResult = code;
        break;
    case OperationKind::Restore:
        RestoreResult = code;
        break;
    }
    if (kind == OperationKind::Restore) {
        // The modem now talks 115200 8-N-1: the next operation must find it there.
        if (code == 1)
            selectFactoryLine();
        say(OperationResultMessage(kind, code));
        CloseComPort();
        return;
    }
    CloseComPort();
    if (kind == OperationKind::Read && code == 1 && Fmainset) {
        // What this modem did not tell must not be left from another one.
        Fmainset->ui->Ver->setText(ApVersion.isEmpty() ? QString()
                                                       : ApModel + QStringLiteral("  Ver ") + ApVersion);
        Fmainset->ui->Build->setText(ApBuild.isEmpty() ? QString() : QStringLiteral("Build ") + ApBuild);
    }
    say(OperationResultMessage(kind, code));
}

void TFconnect::selectFactoryLine() {
    ui->ComboBox2->setCurrentIndex(9);
    ui->ComboBox3->setCurrentIndex(0);
    ui->ComboBox4->setCurrentIndex(1);
    ui->ComboBox5->setCurrentIndex(0);
    ApplyTwoStopBitsRule(ui->ComboBox5, ui->ComboBox3);
}

void TFconnect::runDetection() {
    SetLinkSettings(CurrentLinkSettings());
    int dcd = 0;
    if (OpenComPort() == 1) {
        dcd = IsDcdOn();
        CloseComPort();
    }
    const QString question =
        dcd == 1
            ? QStringLiteral("Remove SIM card from modem. \n\nAuto Detect will take a few minutes.\nDo you "
                             "wish to proceed? ")
            : QStringLiteral("Remeber to hang up the modem (\"+++\" in the terminal). \nIf you don't how to "
                             "hang up, please remove the SIM card. \n\nAuto Detect will take a few "
                             "minutes.\nDo you wish to proceed? ");
    if (gui::messenger().ask(texts::ProgramTitle, question) != gui::Answer::Yes) {
        ui->AutoDetect->setChecked(false);
        ui->AutoDetectWarn1->clear();
        ui->AutoDetectWarn2->clear();
        for (QComboBox* c : {ui->ComboBox2, ui->ComboBox3, ui->ComboBox4, ui->ComboBox5})
            SetComboEnabled(c, true);
        return;
    }
    AutoDetectResult = 0;
    SetLinkSettings(CurrentLinkSettings());
    if (OpenComPort() == 0) {
        say(kNoPort);
        return;
    }
    SleepMs(30);
    // A carrier alone is no modem here: the scan needs one that answers.
    if (GET_CTS_Status() == 0) {
        say(kNoModem);
        CloseComPort();
        return;
    }
    ui->OKF3Btn->setEnabled(false);
    ui->AutoDetect->setEnabled(false);
    hide();
    AutoDetectWorker = std::make_unique<AutoDetectThread>();
    AutoDetectWorker->start();
    // At once: the scan's window updates are served by this loop.
    gui::execModal(this);
    gui::waitPumping(AutoDetectWorker.get());
    // A cancelled scan reports 0.
    AutoDetectResult = AutoDetectWorker->result();
    AutoDetectWorker.reset();
    gui::resetModal(this);
    if (AutoDetectResult == 1) {
        ui->AutoDetect->setEnabled(true);
        ui->AutoDetect->setChecked(false);
        ui->OKF3Btn->setEnabled(true);
        // The user presses OK in it next: it comes back on top, not behind the main window.
        showOver(parentWidget());
        say(QStringLiteral("Baud rate and data format detected successfully."));
    } else {
        say(QStringLiteral("Auto Detect Failed \nPlease Select Correct Port or Try Again."));
        showOver(parentWidget());
        ui->AutoDetect->setEnabled(true);
        ui->OKF3Btn->setEnabled(true);
        ui->AutoDetectWarn1->setText(QStringLiteral("Remove SIM Card and Reset Modem."));
        ui->AutoDetectWarn2->setText(QStringLiteral("This will take a few minutes."));
    }
    CloseComPort();
}
