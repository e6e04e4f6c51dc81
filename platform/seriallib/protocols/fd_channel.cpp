#include "fd_channel.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace seriallib {
namespace {

int msUntil(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1000000));
}

} // namespace

FdChannel::FdChannel(int fd, bool own) : fd_(fd), own_(own) {
    int flags = fcntl(fd_, F_GETFL);
    if (flags >= 0)
        fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

FdChannel::~FdChannel() {
    if (own_ && fd_ >= 0)
        ::close(fd_);
}

int FdChannel::read(uint8_t* buffer, size_t size, Clock::time_point deadline) {
    if (size == 0)
        return 0;
    for (;;) {
        ssize_t n = ::read(fd_, buffer, size);
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            return -1;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        int wait = msUntil(deadline);
        if (wait == 0)
            return 0;
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return -1;
        // A pty master whose slave was never opened yet reports nothing; one whose slave was closed
        // reports POLLHUP and the read above then fails with EIO.
        if (r > 0 && (p.revents & POLLNVAL))
            return -1;
    }
}

int FdChannel::write(const uint8_t* buffer, size_t size, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::write(fd_, buffer + sent, size - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return sent > 0 ? static_cast<int>(sent) : -1;
        int wait = msUntil(deadline);
        if (wait == 0)
            break;
        pollfd p{fd_, POLLOUT, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR)
            return sent > 0 ? static_cast<int>(sent) : -1;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL)) && !(p.revents & POLLOUT))
            return sent > 0 ? static_cast<int>(sent) : -1;
    }
    return static_cast<int>(sent);
}

void FdChannel::purgeInput() {
    tcflush(fd_, TCIFLUSH);
    // A pty master's flush does not reach what its slave wrote: read that away too.
    uint8_t scratch[4096];
    while (::read(fd_, scratch, sizeof scratch) > 0) {
    }
}

void FdChannel::drainOutput(Clock::time_point deadline) {
    // tcdrain() could wait for ever behind a stopped flow control: poll the output queue instead.
    for (;;) {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return;
        if (Clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace seriallib
