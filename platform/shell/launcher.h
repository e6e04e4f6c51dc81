#pragma once
// Starting another program and opening a document go through one seam so tests can record them.

#include <QString>
#include <QStringList>

#include <memory>

namespace shell {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the program with the arguments, detached: returns once it is started, not when it ends.
    // False when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments = {}) = 0;
    // Opens the file with the desktop's viewer for its type. False when no viewer took it.
    virtual bool openDocument(const QString& path) = 0;
};

// The launcher in force; the Qt one until another is installed.
Launcher& launcher();
void setLauncher(std::shared_ptr<Launcher> l);

} // namespace shell
