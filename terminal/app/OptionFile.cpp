#include "OptionFile.h"

#include "file_dialogs.h"
#include "messenger.h"
#include "OptionFilePlacement.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString SaveCaption = QStringLiteral("Save Setting to Option File");
const QString SaveFilter = QStringLiteral("Halvic file(*.hlv)|*.hlv||");
const QString DefaultName = QStringLiteral("halvic.hlv");

QString withSeparator(QString folder) {
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/'))) {
        folder += QLatin1Char('/');
    }
    return folder;
}

// A value of a desktop entry: backslash and line ends escaped.
QString entryValue(const QString& text) {
    QString v;
    for (QChar c : text) {
        if (c == QLatin1Char('\\')) {
            v += QStringLiteral("\\\\");
        } else if (c == QLatin1Char('\n')) {
            v += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            v += QStringLiteral("\\r");
        } else if (c == QLatin1Char('\t')) {
            v += QStringLiteral("\\t");
        } else {
            v += c;
        }
    }
    return v;
}

// One argument of an Exec line: quoted, with the characters special inside quotes escaped and the
// field-code character doubled. The whole line is then escaped once more as a value.
QString execArgument(const QString& arg) {
    QString quoted = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        if (c == QLatin1Char('%')) {
            quoted += QLatin1Char('%');
        }
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

} // namespace

OptionFile::OptionFile(const QString& folder) : folder_(withSeparator(folder)) {}

QString optionFileMessage(int message, const QString& path) {
    const std::string_view text = terminal::optionFileMessageText(message);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()))
        .replace(QStringLiteral("%1"), QDir::toNativeSeparators(path));
}

void ShowOptionFileMessage(int message, const QString& path) {
    gui::messenger().show(QStringLiteral("Halvic"), optionFileMessage(message, path), gui::Icon::Warning);
}

void OptionFile::resetLoaded() {
    loaded_ = false;
    hasName_ = false;
    profiles_.clear();
    next_ = 0;
}

int OptionFile::ReadOptionFile(const QString& name) {
    const QString path = QFileInfo(name).absoluteFilePath();
    // Whatever happens next, the profiles of an earlier file are no longer handed out.
    profiles_.clear();
    next_ = 0;
    loaded_ = false;
    QFile file(path);
    // Only a regular file is opened: a FIFO given on the command line would block the open for ever.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        ShowOptionFileMessage(terminal::OptionFileOpenFail, path);
        return 0;
    }
    // Nothing beyond the largest valid file is ever looked at.
    const QByteArray bytes = file.read(terminal::MaxOptionFileSize);
    if (file.error() != QFileDevice::NoError) {
        ShowOptionFileMessage(terminal::OptionFileReadFail, path);
        return 0;
    }
    file.close();
    terminal::OptionFileDecoding d = terminal::decodeOptionFile(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    if (!d.ok()) {
        ShowOptionFileMessage(terminal::OptionFileCorrupted, path);
        return 0;
    }
    profiles_ = std::move(d.contents.profiles);
    placement_ = d.contents.mainWindow;
    if (mainWindow_) {
        applyWindowPlacement(*mainWindow_, placement_);
    }
    path_ = path;
    folder_ = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    folderOfFile_ = true;
    loaded_ = true;
    hasName_ = true;
    return 1;
}

bool OptionFile::ReadNextProfile(terminal::Profile& profile) {
    if (next_ < 0 || next_ >= profileCount()) {
        return false;
    }
    profile = profiles_[size_t(next_++)];
    return true;
}

int OptionFile::WriteOptionFile(bool saveAs, const std::vector<terminal::Profile>& profiles) {
    const bool ask = !hasName_ || saveAs;
    if (profiles.empty()) {
        // A file without profiles is one the reader refuses: never put it in place of a good one.
        ShowOptionFileMessage(terminal::OptionFileNothingToSave, path_);
        return 0;
    }
    QString path = path_;
    QString title = title_;
    QString link;
    if (ask) {
        QString chosen =
            gui::fileDialogs().saveFile(SaveCaption, folder_ + DefaultName, gui::qtFilter(SaveFilter),
                                        /*confirmOverwrite=*/true);
        if (chosen.isEmpty()) {
            return 0;
        }
        if (QFileInfo(chosen).suffix().isEmpty()) {
            chosen += QStringLiteral(".hlv");
        }
        path = QFileInfo(chosen).absoluteFilePath();
        title = QFileInfo(path).completeBaseName();
        if (!linkPath_.isEmpty()) {
            link = shortcutPath(linkPath_, title);
        }
    }
    if (profiles.size() > terminal::MaxProfiles) {
        ShowOptionFileMessage(terminal::OptionFileWriteFail, path);
        return 0;
    }
    terminal::OptionFileContents contents;
    contents.profiles = profiles;
    if (mainWindow_) {
        contents.mainWindow = windowPlacementOf(*mainWindow_);
    }
    const std::vector<uint8_t> bytes = terminal::encodeOptionFile(contents);

    // The new file is written beside the old one and renamed over it only when complete.
    // Unbuffered: a short write (disk full, size limit) must be seen here, not lost in a later flush.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        ShowOptionFileMessage(terminal::OptionFileOpenFail, path);
        return 0;
    }
    const qint64 length = static_cast<qint64>(bytes.size());
    if (file.write(reinterpret_cast<const char*>(bytes.data()), length) != length || file.size() != length ||
        !file.commit()) {
        file.cancelWriting();
        ShowOptionFileMessage(terminal::OptionFileWriteFail, path);
        return 0;
    }
    path_ = path;
    title_ = title;
    if (!link.isEmpty()) {
        CreateShortcut(path_, link, title_,
                       program_.isEmpty() ? QCoreApplication::applicationFilePath() : program_);
    }
    // What is in the file now is the only set of profiles still to hand out: none.
    profiles_ = profiles;
    next_ = profileCount();
    hasName_ = true;
    return 1;
}

QString shortcutPath(const QString& linkFolder, const QString& title) {
    return withSeparator(linkFolder) + title + QStringLiteral(".desktop");
}

bool CreateShortcut(const QString& target, const QString& link, const QString& description,
                    const QString& program) {
    const QString name = QFileInfo(link).completeBaseName();
    QString entry = QStringLiteral("[Desktop Entry]\n"
                                   "Type=Application\n"
                                   "Version=1.0\n");
    entry += QStringLiteral("Name=") + entryValue(name) + QLatin1Char('\n');
    entry += QStringLiteral("Comment=") + entryValue(description) + QLatin1Char('\n');
    entry += QStringLiteral("Exec=") +
             entryValue(execArgument(program) + QLatin1Char(' ') + execArgument(target)) + QLatin1Char('\n');
    entry += QStringLiteral("Terminal=false\n");
    QSaveFile file(link);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return false;
    }
    const QByteArray bytes = entry.toUtf8();
    if (file.write(bytes) != bytes.size() || file.size() != bytes.size() || !file.commit()) {
        file.cancelWriting();
        return false;
    }
    // Launchers are started only when they may be executed.
    QFile::setPermissions(link, QFile::permissions(link) | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}
