// The application's option-file state and the file operations behind Open profile, Save and Save As.
// Profiles are kept in memory once the file has been read and checked, and handed out from there.
#pragma once

#include "option_file_codec.h"

#include <QString>

#include <vector>

class QWidget;

class OptionFile {
public:
    // folder: where the save dialog starts until a file has been read (the user's Documents folder).
    explicit OptionFile(const QString& folder);

    // Reads and checks the whole file, keeps its profiles and places the main window (when one is set).
    // 1 when the file is valid; 0 after a message (nothing is then handed out).
    int ReadOptionFile(const QString& path);

    // The next profile of the file read last; false when none is left.
    bool ReadNextProfile(terminal::Profile& profile);

    // Writes the profiles (in window order) and the main window's placement. Shows the save dialog when
    // no file is named yet or saveAs is set. The file is replaced only by a complete new one: on any
    // failure the old file stays as it was. 1 when written; 0 when cancelled, refused or failed (after
    // a message). Once written, no stale profile of an earlier read is handed out.
    int WriteOptionFile(bool saveAs, const std::vector<terminal::Profile>& profiles);

    // Before Open profile reads another file: nothing loaded, no name, no profile to hand out.
    void resetLoaded();

    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    // The program that the shortcuts start (default: this program).
    void setProgramPath(const QString& program) { program_ = program; }

    const QString& path() const { return path_; }
    const QString& folder() const { return folder_; } // ends in '/'
    // Whether folder() is that of a file read, not the one given at the start.
    bool folderOfFile() const { return folderOfFile_; }
    const QString& linkPath() const { return linkPath_; }
    void setLinkPath(const QString& folder) { linkPath_ = folder; }
    const QString& title() const { return title_; }
    int profileCount() const { return static_cast<int>(profiles_.size()); }
    int nextProfileIndex() const { return next_; }
    void setNextProfileIndex(int index) { next_ = index; }
    bool loaded() const { return loaded_; }
    bool hasName() const { return hasName_; }
    const terminal::WindowPlacement& mainWindowPlacement() const { return placement_; }

private:
    QString folder_;
    QString path_;
    QString linkPath_;
    QString title_;
    QString program_;
    QWidget* mainWindow_ = nullptr;
    std::vector<terminal::Profile> profiles_;
    terminal::WindowPlacement placement_;
    int next_ = 0;
    bool loaded_ = false;
    bool folderOfFile_ = false;
    bool hasName_ = false;
};

// The message's text with %1 replaced by the path.
QString optionFileMessage(int message, const QString& path);
// Shows it in a warning box captioned "Halvic".
void ShowOptionFileMessage(int message, const QString& path);

// A desktop launcher at link that starts program with target (the option file); description becomes
// its comment and title its name. Written whole or not at all. False on failure.
bool CreateShortcut(const QString& target, const QString& link, const QString& description,
                    const QString& program);
// Where the shortcut of a saved file goes: <folder>/<title>.desktop.
QString shortcutPath(const QString& linkFolder, const QString& title);
