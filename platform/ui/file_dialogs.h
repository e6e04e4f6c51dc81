#pragma once
// Open, save and folder dialogs go through one seam so tests can answer them.

#include <QString>

#include <memory>

namespace gui {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Each returns the chosen path, or an empty text when the user cancelled. start is a folder or
    // a file path (then that name is preselected); filter is in Qt form ("Txt files (*.txt)").
    virtual QString openFile(const QString& caption, const QString& start, const QString& filter) = 0;
    // With confirmOverwrite false the dialog does not ask about an existing file (the caller does).
    virtual QString saveFile(const QString& caption, const QString& start, const QString& filter,
                             bool confirmOverwrite = false) = 0;
    virtual QString chooseFolder(const QString& caption, const QString& start) = 0;
};

// The dialogs in force; the Qt ones until others are installed. Callable from any thread.
FileDialogs& fileDialogs();
void setFileDialogs(std::shared_ptr<FileDialogs> d);

// Turns a filter written as "Description|pattern;pattern|..." into the Qt form
// "Description (pattern pattern);;..."; "*.*" means every file.
QString qtFilter(const QString& barFilter);

} // namespace gui
