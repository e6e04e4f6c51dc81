// Until the device layer is in the tree, ports come only from an installed opener.
#include "comm_port.h"

#include <cerrno>
#include <mutex>

namespace comm {
namespace {
std::mutex openerMutex;
PortOpener installedOpener;
} // namespace

std::unique_ptr<Port> openPort(const std::string& name) {
    PortOpener opener;
    {
        std::lock_guard lock(openerMutex);
        opener = installedOpener;
    }
    if (!opener) {
        errno = ENOENT;
        return nullptr;
    }
    return opener(name);
}

void setPortOpener(PortOpener opener) {
    std::lock_guard lock(openerMutex);
    installedOpener = std::move(opener);
}

} // namespace comm
