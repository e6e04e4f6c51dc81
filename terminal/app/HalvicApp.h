// The terminal program's application object: the table of ports in use, the counters that tell whether
// the open windows differ from the option file, the terminal descriptions in force and the documents
// in the order they were made.
#pragma once

#include "OptionFile.h"
#include "PortRecords.h"
#include "termcap_store.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

namespace halvic {

class CHalvicDoc;
class CMainFrame;

// Shows the settings sheet for a document: fills its current records from the user's choice. True when
// the user confirmed. fromProperties: the port is fixed (the window exists already).
using SettingsSheetRunner = std::function<bool(CHalvicDoc& doc, bool fromProperties)>;

class CHalvicApp : public QObject {
    Q_OBJECT
public:
    static constexpr int PortCount = 256;

    // programDir: the folder of the program.
    explicit CHalvicApp(const QString& programDir, QObject* parent = nullptr);
    ~CHalvicApp() override;

    // The one instance (null before it is made).
    static CHalvicApp* instance();

    // Numbers outside 1..256 are never in use and are not marked.
    void MarkPortInUse(int port);
    void ReleasePort(int port);
    bool IsPortInUse(int port) const;
    int openPortCount() const { return openPortCount_; }

    bool SettingsChanged() const;
    void SetModified() { modified_ = true; }
    bool AnyViewBusy() const;

    QString ProgramDirectory() const { return programDirectory_; }
    // The folder of the option file read last; until then the user's Documents folder, where the save
    // dialog starts and new windows' captures go.
    QString OptionFileFolder() const { return optionFile_.folder(); }
    // A new window's receive folder: the Downloads folder until an option file was read, then its
    // folder. Every folder here ends in '/'.
    QString ReceiveFolder() const;
    static QString DocumentsFolder();

    // Option-file state: the profiles a file handed out and whether one was read or written.
    OptionFile& optionFile() { return optionFile_; }
    bool loaded() const { return optionFile_.loaded(); }
    int nextProfileIndex() const { return optionFile_.nextProfileIndex(); }
    int profileCount() const { return optionFile_.profileCount(); }
    // Fills the four records of a new window from the next profile; false when none is left.
    bool ReadNextProfile(PortSettings& port, TerminalSettings& terminal, TransferSettings& transfer,
                         ChildPlacement& placement);
    // After a successful save, or the answer to the save question: the open windows are what the file
    // holds.
    void markSaved();
    // Before the profiles of another file are read: no window counts as open any more.
    void resetForLoad();

    terminal::TermcapStore& descriptions() { return descriptions_; }
    // The folder that holds the description file of the type.
    std::string descriptionDirectory(terminal::TerminalType type) const;

    void setSettingsSheet(SettingsSheetRunner runner) { sheet_ = std::move(runner); }
    const SettingsSheetRunner& settingsSheet() const { return sheet_; }

    // Documents in the order they were made.
    const QList<CHalvicDoc*>& documents() const { return documents_; }
    void addDocument(CHalvicDoc* doc);
    void removeDocument(CHalvicDoc* doc);

    void setMainFrame(CMainFrame* frame) { mainFrame_ = frame; }
    CMainFrame* mainFrame() const { return mainFrame_; }

signals:
    // From the serial library's notices (queued onto the GUI thread): the line status or a break of port.
    void portStatusChanged(int port);
    void portBreak(int port);

private:
    QString programDirectory_;
    OptionFile optionFile_;
    std::array<bool, PortCount> portTable_{};

    int openPortCount_ = 0;
    bool modified_ = false;

    terminal::TermcapStore descriptions_;
    SettingsSheetRunner sheet_;
    QList<CHalvicDoc*> documents_;
    CMainFrame* mainFrame_ = nullptr;
};

} // namespace halvic
