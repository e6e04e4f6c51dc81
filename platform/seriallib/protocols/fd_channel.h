#pragma once
// A byte channel over a file descriptor (a tty, a pty master or slave, a socket), built on poll().

#include "byte_channel.h"

namespace seriallib {

class FdChannel : public ByteChannel {
public:
    // The descriptor is switched to non-blocking mode. With own set, the channel closes it.
    explicit FdChannel(int fd, bool own = false);
    ~FdChannel() override;
    FdChannel(const FdChannel&) = delete;
    FdChannel& operator=(const FdChannel&) = delete;

    int fd() const { return fd_; }

    // A hang-up (the other end closed) or a read error gives -1; so does end of file.
    int read(uint8_t* buffer, size_t size, Clock::time_point deadline) override;
    int write(const uint8_t* buffer, size_t size, Clock::time_point deadline) override;
    void purgeInput() override;
    void drainOutput(Clock::time_point deadline) override;

private:
    int fd_;
    bool own_;
};

} // namespace seriallib
