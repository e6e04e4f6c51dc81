#include "HalvicDoc.h"

#include "HalvicApp.h"
#include "messenger.h"
#include "PortErrors.h"
#include "seriallib.h"

namespace halvic {

namespace {

// The library calls these on the port's monitor thread: they only queue the news for the GUI thread.
SerialNotify lineStatusCallback(CHalvicApp* app) {
    return [app](int port) {
        QMetaObject::invokeMethod(
            app, [app, port] { emit app->portStatusChanged(port); }, Qt::QueuedConnection);
    };
}

SerialNotify breakCallback(CHalvicApp* app) {
    return [app](int port) {
        QMetaObject::invokeMethod(
            app, [app, port] { emit app->portBreak(port); }, Qt::QueuedConnection);
    };
}

} // namespace

CHalvicDoc::CHalvicDoc(CHalvicApp& app, QObject* parent) : QObject(parent), app_(app) {
    app_.addDocument(this);
}

CHalvicDoc::~CHalvicDoc() {
    if (portOpen_)
        OnCloseDocument();
    if (registered_)
        app_.ReleasePort(activePort_);
    app_.removeDocument(this);
}

QString CHalvicDoc::caption() const {
    return QString::fromStdString(DisplayPortName(terminal::fieldText(portSettings.portName)));
}

terminal::TerminalType CHalvicDoc::terminalType() const {
    return static_cast<terminal::TerminalType>(terminalSettings.terminalType);
}

bool CHalvicDoc::OnNewDocument() {
    // User folders, not the program's: files are sent from Documents and received into Downloads.
    terminal::setFieldText(transferSettings.transmitFolder, CHalvicApp::DocumentsFolder().toStdString());
    terminal::setFieldText(transferSettings.receiveDirectory, app_.ReceiveFolder().toStdString());
    if (terminal::fieldText(portSettings.portName).empty())
        SetPort(portSettings, portSettings.portNumber);
    return SetupConnection();
}

bool CHalvicDoc::SetupConnection() {
    bool sheetRan = false;
    PortSettings port = portSettings;
    TerminalSettings terminal = terminalSettings;
    TransferSettings transfer = transferSettings;
    if (app_.loaded() && app_.nextProfileIndex() < app_.profileCount() &&
        app_.ReadNextProfile(portSettings, terminalSettings, transferSettings, placement)) {
        fromProfile_ = true;
        giveTranslationsToScreen();
    } else {
        sheetRan = true;
        if (!RunSettingsSheet(false))
            return false;
    }
    activePort_ = portSettings.portNumber;
    if (PreparePort()) {
        registered_ = true;
        app_.MarkPortInUse(activePort_);
        return true;
    }
    if (sheetRan) {
        portSettings = port;
        terminalSettings = terminal;
        transferSettings = transfer;
    }
    return false;
}

bool CHalvicDoc::RunSettingsSheet(bool fromProperties) {
    const SettingsSheetRunner& sheet = app_.settingsSheet();
    for (;;) {
        // The runner shows the sheet once; the in-use check is made here alone. A sheet shown again
        // after the in-use message may still be cancelled: no window then.
        if (!sheet || !sheet(*this, fromProperties))
            return false;
        giveTranslationsToScreen();
        if (fromProperties || !app_.IsPortInUse(portSettings.portNumber))
            return true;
        ShowPortInUse(caption());
    }
}

void CHalvicDoc::ShowPortInUse(const QString& portName) {
    gui::messenger().show(portName, QStringLiteral("Port %1 has been opened !").arg(portName),
                          gui::Icon::Warning);
}

void CHalvicDoc::giveTranslationsToScreen() {
    screen->lock()->setTranslations(static_cast<terminal::LineEndTranslation>(terminalSettings.crCode),
                                    static_cast<terminal::LineEndTranslation>(terminalSettings.lfCode));
}

bool CHalvicDoc::OpenPort() {
    portOpen_ = false;
    const int code = SerialOpen(activePort_);
    if (code != 0) {
        ReportPortError(caption(), code);
        return false;
    }
    if (!ConfigurePort()) {
        SerialClose(activePort_);
        return true;
    }
    if (!bindDescription()) {
        SerialClose(activePort_);
        return false;
    }
    portOpen_ = true;
    return true;
}

bool CHalvicDoc::bindDescription() {
    const terminal::TerminalType type = terminalType();
    const terminal::LoadResult result =
        binding.InitTermcap(app_.descriptions(), type, app_.descriptionDirectory(type));
    if (result.ok())
        return true;
    const std::string message = result.message();
    if (!message.empty())
        gui::messenger().show(caption(), QString::fromStdString(message), gui::Icon::Warning);
    return false;
}

bool CHalvicDoc::ConfigurePort() {
    const int port = activePort_;
    SerialSetWriteTimeout(port, 100);
    int code = SerialSetLine(port, portSettings.baudCode, portSettings.modeBits);
    if (code == 0)
        code = SerialSetFlowControl(port, portSettings.flowBits);
    if (code == 0)
        code = SerialOnLineStatusChange(port, lineStatusCallback(&app_));
    if (code == 0)
        code = SerialOnBreak(port, breakCallback(&app_));
    if (code == 0)
        code = SerialSetDtr(port, portSettings.dtr == 1 ? 1 : 0);
    // Under hardware flow control the driver owns RTS.
    if (code == 0 && !HardwareFlow(portSettings))
        code = SerialSetRts(port, portSettings.rts == 1 ? 1 : 0);
    if (code != 0) {
        ReportPortError(caption(), code);
        return false;
    }
    return true;
}

bool CHalvicDoc::PreparePort() {
    if (!OpenPort())
        return false;
    const bool allocated = screen->lock()->AllocScreenBuffer(binding.columns, binding.lines,
                                                             terminal::HistoryLines, terminalType());
    if (!allocated) {
        binding.ReleaseTermcap();
        if (portOpen_)
            SerialClose(activePort_);
        portOpen_ = false;
        return false;
    }
    return true;
}

void CHalvicDoc::ClosePort() {
    if (!portOpen_)
        return;
    SerialFlush(activePort_, 2);
    SerialClose(activePort_);
    binding.ReleaseTermcap();
    portOpen_ = false;
}

void CHalvicDoc::SaveSettingsCopy() {
    if (!copyPending_)
        return;
    savedPort_ = portSettings;
    savedTerminal_ = terminalSettings;
    savedTransfer_ = transferSettings;
    giveTranslationsToScreen();
    copyPending_ = false;
}

void CHalvicDoc::RestoreSettingsCopy() {
    portSettings = savedPort_;
    terminalSettings = savedTerminal_;
    transferSettings = savedTransfer_;
    copyPending_ = true;
}

void CHalvicDoc::OnCloseDocument() {
    ClosePort();
    screen->lock()->FreeScreenBuffer();
}

} // namespace halvic
