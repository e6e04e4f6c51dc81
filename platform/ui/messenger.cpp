#include "messenger.h"

#include "installed_seam.h"
#include "qt_messenger.h"

namespace gui {

Messenger& messenger() {
    return shell::installedSeam<Messenger, QtMessenger>().get();
}

void setMessenger(std::shared_ptr<Messenger> m) {
    shell::installedSeam<Messenger, QtMessenger>().set(std::move(m));
}

} // namespace gui
