#include "qt_file_dialogs.h"

#include "gui.h"

#include <QApplication>
#include <QFileDialog>

namespace gui {

QString QtFileDialogs::openFile(const QString& caption, const QString& start, const QString& filter) {
    return callFor<QString>(
        [&] { return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, start, filter); });
}

QString QtFileDialogs::saveFile(const QString& caption, const QString& start, const QString& filter,
                                bool confirmOverwrite) {
    return callFor<QString>([&] {
        const QFileDialog::Options options =
            confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
        return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, start, filter, nullptr,
                                            options);
    });
}

QString QtFileDialogs::chooseFolder(const QString& caption, const QString& start) {
    return callFor<QString>(
        [&] { return QFileDialog::getExistingDirectory(QApplication::activeWindow(), caption, start); });
}

} // namespace gui
