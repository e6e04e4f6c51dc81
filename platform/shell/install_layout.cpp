#include "install_layout.h"

#include "build_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace shell {

namespace {

std::mutex& layoutMutex() {
    static std::mutex m;
    return m;
}

std::optional<InstallLayout>& installed() {
    static std::optional<InstallLayout> layout;
    return layout;
}

QString join(const QString& dir, const QString& relative) {
    return QDir::cleanPath(dir + QLatin1Char('/') + relative);
}

// A data folder of the install: below the root unless the build was told an absolute one.
QString dataDir(const QString& root, const char* subdir) {
    const QString sub = QString::fromUtf8(subdir);
    return QDir::isAbsolutePath(sub) ? QDir::cleanPath(sub) : join(root, sub);
}

} // namespace

InstallLayout::InstallLayout(const QString& programDir)
    : programDir_(QDir::cleanPath(QDir(programDir).absolutePath())),
      root_(QDir::cleanPath(programDir_ + QStringLiteral("/.."))) {}

QString InstallLayout::program(const QString& name) const {
    return join(root_, QStringLiteral("bin/") + name);
}

QStringList InstallLayout::descriptionDirs() const {
    QStringList dirs{programDir_};
    const QString bin = join(root_, QStringLiteral("bin"));
    if (bin != programDir_) {
        dirs.append(bin);
    }
    dirs.append(dataDir(root_, BREL_DESCRIPTION_SUBDIR));
    return dirs;
}

QString InstallLayout::descriptionFile(const QString& name) const {
    for (const QString& dir : descriptionDirs()) {
        const QString path = join(dir, name);
        if (QFileInfo(path).isFile()) {
            return path;
        }
    }
    return join(programDir_, name);
}

QString InstallLayout::helpDir() const {
    return dataDir(root_, BREL_HELP_SUBDIR);
}

QString InstallLayout::helpFile(const QString& name) const {
    return join(helpDir(), name);
}

InstallLayout installLayout() {
    {
        const std::lock_guard lock(layoutMutex());
        if (installed()) {
            return *installed();
        }
    }
    return InstallLayout(QCoreApplication::applicationDirPath());
}

void setInstallLayout(std::optional<InstallLayout> layout) {
    const std::lock_guard lock(layoutMutex());
    installed() = std::move(layout);
}

namespace {

QString userFolder(QStandardPaths::StandardLocation location) {
    const QString folder = QStandardPaths::writableLocation(location);
    return folder.isEmpty() || !QFileInfo(folder).isDir() ? QDir::homePath() : folder;
}

} // namespace

QString documentsFolder() {
    return userFolder(QStandardPaths::DocumentsLocation);
}

QString downloadsFolder() {
    return userFolder(QStandardPaths::DownloadLocation);
}

QString dataFolder() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir)) {
        return QString();
    }
    return dir;
}

} // namespace shell
