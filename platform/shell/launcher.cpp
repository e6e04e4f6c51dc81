#include "launcher.h"

#include "qt_launcher.h"

#include <mutex>

namespace shell {

namespace {

std::mutex& launcherMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<Launcher>& current() {
    static std::shared_ptr<Launcher> l;
    return l;
}

} // namespace

Launcher& launcher() {
    const std::lock_guard lock(launcherMutex());
    if (!current()) {
        current() = std::make_shared<QtLauncher>();
    }
    return *current();
}

void setLauncher(std::shared_ptr<Launcher> l) {
    const std::lock_guard lock(launcherMutex());
    current() = std::move(l);
}

} // namespace shell
