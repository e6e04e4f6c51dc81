#include "pty_pair.h"

#include "uucp_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace comm {

namespace {

void makeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(fd, TCSANOW, &t);
}

} // namespace

// A slave whose name another program has locked is no line a port could open: another pty is
// taken instead (the ones passed over are kept open meanwhile, so that they are not given again).
constexpr int kLockedSlavesPassedOver = 8;

PtyPair::PtyPair() {
    std::vector<PtyPair> passedOver;
    for (;;) {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::system_error(errno, std::generic_category(), "openpty");
        slavePath_ = name;
        if (int(passedOver.size()) == kLockedSlavesPassedOver || !tty::lockedByLiveProcess(slavePath_))
            break;
        passedOver.push_back(std::move(*this));
    }
    for (int fd : {master_, slave_}) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        makeRaw(fd);
    }
}

PtyPair::~PtyPair() {
    closeMaster();
    closeSlave();
}

PtyPair::PtyPair(PtyPair&& other) noexcept
    : master_(std::exchange(other.master_, -1)), slave_(std::exchange(other.slave_, -1)),
      slavePath_(std::move(other.slavePath_)) {}

PtyPair& PtyPair::operator=(PtyPair&& other) noexcept {
    if (this != &other) {
        closeMaster();
        closeSlave();
        master_ = std::exchange(other.master_, -1);
        slave_ = std::exchange(other.slave_, -1);
        slavePath_ = std::move(other.slavePath_);
    }
    return *this;
}

void PtyPair::closeMaster() {
    if (master_ >= 0)
        ::close(std::exchange(master_, -1));
}

void PtyPair::closeSlave() {
    if (slave_ >= 0)
        ::close(std::exchange(slave_, -1));
}

} // namespace comm
