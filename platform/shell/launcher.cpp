#include "launcher.h"

#include "installed_seam.h"
#include "qt_launcher.h"

namespace shell {

namespace {

InstalledSeam<Launcher, QtLauncher>& seam() {
    static InstalledSeam<Launcher, QtLauncher> s;
    return s;
}

} // namespace

Launcher& launcher() {
    return seam().get();
}

void setLauncher(std::shared_ptr<Launcher> l) {
    seam().set(std::move(l));
}

} // namespace shell
