#include "recording_launcher.h"

#include "installed_seam.h"

namespace shell {

bool RecordingLauncher::startProgram(const QString& program, const QStringList& arguments) {
    const std::lock_guard lock(mutex_);
    launches_.push_back(Launch{LaunchKind::Program, program, arguments});
    return succeeds_;
}

bool RecordingLauncher::openDocument(const QString& path) {
    const std::lock_guard lock(mutex_);
    launches_.push_back(Launch{LaunchKind::Document, path, {}});
    return succeeds_;
}

void RecordingLauncher::setSucceeds(bool succeeds) {
    const std::lock_guard lock(mutex_);
    succeeds_ = succeeds;
}

std::vector<Launch> RecordingLauncher::launches() const {
    const std::lock_guard lock(mutex_);
    return launches_;
}

std::shared_ptr<RecordingLauncher> RecordingLauncher::install() {
    return installFresh<RecordingLauncher>(setLauncher);
}

} // namespace shell
