#include "messenger.h"

#include "installed_seam.h"
#include "qt_messenger.h"

namespace gui {

namespace {

shell::InstalledSeam<Messenger, QtMessenger>& seam() {
    static shell::InstalledSeam<Messenger, QtMessenger> s;
    return s;
}

} // namespace

Messenger& messenger() {
    return seam().get();
}

void setMessenger(std::shared_ptr<Messenger> m) {
    seam().set(std::move(m));
}

} // namespace gui
