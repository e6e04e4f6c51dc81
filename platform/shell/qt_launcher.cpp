#include "qt_launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace shell {

bool QtLauncher::startProgram(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

bool QtLauncher::openDocument(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace shell
