#pragma once
// File dialogs shown with QFileDialog on the GUI thread, owned by the active window.

#include "file_dialogs.h"

namespace gui {

class QtFileDialogs : public FileDialogs {
public:
    QString openFile(const QString& caption, const QString& start, const QString& filter) override;
    QString saveFile(const QString& caption, const QString& start, const QString& filter,
                     bool confirmOverwrite = false) override;
    QString chooseFolder(const QString& caption, const QString& start) override;
};

} // namespace gui
