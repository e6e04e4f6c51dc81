#include "launcher.h"

#include "installed_seam.h"
#include "qt_launcher.h"

namespace shell {

Launcher& launcher() {
    return installedSeam<Launcher, QtLauncher>().get();
}

void setLauncher(std::shared_ptr<Launcher> l) {
    installedSeam<Launcher, QtLauncher>().set(std::move(l));
}

} // namespace shell
