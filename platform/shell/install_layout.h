#pragma once
// The install folders. The programs lie in <root>/bin (in the build tree: <build>/bin); <root> is
// what the programs call the Program Files folder.

#include <QString>
#include <QStringList>

#include <optional>

namespace shell {

class InstallLayout {
public:
    // programDir: the folder that holds the running program.
    explicit InstallLayout(const QString& programDir);

    QString programDir() const { return programDir_; }
    // The folder above the program's folder.
    QString root() const { return root_; }
    // A program of the same install: <root>/bin/<name>.
    QString program(const QString& name) const;
    // Where the terminal-description files are looked for, in order: beside the program, the
    // install's bin folder, <root>/share/halvic (the data folders as the build was configured).
    QStringList descriptionDirs() const;
    // The first existing file of that name in descriptionDirs(); the one beside the program if none.
    QString descriptionFile(const QString& name) const;
    // <root>/share/doc/vantro and a file in it.
    QString helpDir() const;
    QString helpFile(const QString& name) const;

private:
    QString programDir_;
    QString root_;
};

// The layout of the running program, or the one installed with setInstallLayout (tests).
InstallLayout installLayout();
void setInstallLayout(std::optional<InstallLayout> layout);

// The user's Documents and Downloads folders (the home folder when the system names none or the
// folder does not exist).
QString documentsFolder();
QString downloadsFolder();

// A user-writable folder for the files the programs keep for themselves; made when missing.
// Empty when it cannot be made.
QString dataFolder();

} // namespace shell
