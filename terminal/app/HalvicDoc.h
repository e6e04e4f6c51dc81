// One port window's data: its line, terminal and transfer settings, the open port, the bound terminal
// description and the screen. The port number stays registered with the application while the
// document lives, so no two windows use one port.
#pragma once

#include "PortRecords.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_store.h"

#include <QObject>
#include <QString>

#include <memory>

namespace halvic {

class CHalvicApp;
class CHalvicView;

class CHalvicDoc : public QObject {
    Q_OBJECT
public:
    explicit CHalvicDoc(CHalvicApp& app, QObject* parent = nullptr);
    ~CHalvicDoc() override;

    // A new window: transfer folders from the program directory, then SetupConnection. False when the
    // window is not to be made.
    bool OnNewDocument();
    // Settings from the next profile or from the sheet, then the port prepared. False when the window
    // may not open (the port number then stays free).
    bool SetupConnection();
    bool RunSettingsSheet(bool fromProperties);
    // "Port %1 has been opened !": a new window may not take a port another window uses.
    static void ShowPortInUse(const QString& portName);

    // False after a message when the port cannot be opened or the description not bound; true with the
    // port still closed when only its configuration failed.
    bool OpenPort();
    bool ConfigurePort();
    // OpenPort, then the screen for the description's size and the terminal type.
    bool PreparePort();
    void ClosePort();
    bool IsPortOpen() const { return portOpen_; }

    void SaveSettingsCopy();
    void RestoreSettingsCopy();
    // The records in force are the ones the next Properties starts from.
    void KeepSettings() { copyPending_ = true; }
    // Closes the port and frees the screen; the document goes next.
    void OnCloseDocument();

    int activePort() const { return activePort_; }
    // The caption of the document's messages and the port's name in its dialogs: "COM12", as a person
    // reads it (the record keeps the port name text).
    QString caption() const;
    bool fromProfile() const { return fromProfile_; }
    terminal::TerminalType terminalType() const;

    CHalvicView* view() const { return view_; }
    void setView(CHalvicView* view) { view_ = view; }
    CHalvicApp& app() const { return app_; }

    PortSettings portSettings;
    TerminalSettings terminalSettings;
    TransferSettings transferSettings;
    ChildPlacement placement; // from the profile
    terminal::TermcapBinding binding;
    // Shared with the port's reader, which may still hold it for a moment after the window went.
    std::shared_ptr<terminal::ScreenModel> screen = std::make_shared<terminal::ScreenModel>();

private:
    void giveTranslationsToScreen();
    bool bindDescription();

    CHalvicApp& app_;
    CHalvicView* view_ = nullptr;
    bool registered_ = false;
    bool portOpen_ = false;
    bool fromProfile_ = false;
    bool copyPending_ = true;
    PortSettings savedPort_;
    TerminalSettings savedTerminal_;
    TransferSettings savedTransfer_;
    int activePort_ = 0;
};

} // namespace halvic
