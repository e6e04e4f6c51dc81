#include "BrowseForFolder.h"

#include "file_dialogs.h"
#include "messenger.h"

#include <QDir>

int BrowseForFolder(QWidget* /*owner: the dialogs seam finds the active window*/, QString& folder,
                    const QString& start, int limit) {
    const QString chosen = gui::fileDialogs().chooseFolder(QStringLiteral("Select Folder"), start);
    if (chosen.isEmpty()) {
        return 0;
    }
    const QString path = QDir::fromNativeSeparators(chosen) + QLatin1Char('/');
    if (path.toUtf8().size() + 1 > limit) {
        // Cutting it would name another folder: keep the one the caller had.
        gui::messenger().show(QStringLiteral("Halvic"),
                              QStringLiteral("The folder path is too long:\n%1").arg(chosen),
                              gui::Icon::Warning);
        return 0;
    }
    folder = path;
    return 1;
}
