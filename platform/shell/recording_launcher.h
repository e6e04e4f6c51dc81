#pragma once
// A launcher for tests: records what would have been started and starts nothing.

#include "launcher.h"

#include <mutex>
#include <vector>

namespace shell {

enum class LaunchKind { Program, Document };

struct Launch {
    LaunchKind kind;
    QString path;
    QStringList arguments;
};

class RecordingLauncher : public Launcher {
public:
    bool startProgram(const QString& program, const QStringList& arguments = {}) override;
    bool openDocument(const QString& path) override;

    // What the next launches report (true unless told otherwise).
    void setSucceeds(bool succeeds);
    std::vector<Launch> launches() const;

    static std::shared_ptr<RecordingLauncher> install();

private:
    mutable std::mutex mutex_;
    std::vector<Launch> launches_;
    bool succeeds_ = true;
};

} // namespace shell
