#pragma once
// Starts programs with QProcess::startDetached and documents with QDesktopServices.

#include "launcher.h"

namespace shell {

class QtLauncher : public Launcher {
public:
    bool startProgram(const QString& program, const QStringList& arguments = {}) override;
    bool openDocument(const QString& path) override;
};

} // namespace shell
