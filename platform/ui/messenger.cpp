#include "messenger.h"

#include "qt_messenger.h"

#include <mutex>

namespace gui {

namespace {

std::mutex& messengerMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<Messenger>& current() {
    static std::shared_ptr<Messenger> m;
    return m;
}

} // namespace

Messenger& messenger() {
    const std::lock_guard lock(messengerMutex());
    if (!current()) {
        current() = std::make_shared<QtMessenger>();
    }
    return *current();
}

void setMessenger(std::shared_ptr<Messenger> m) {
    const std::lock_guard lock(messengerMutex());
    current() = std::move(m);
}

} // namespace gui
