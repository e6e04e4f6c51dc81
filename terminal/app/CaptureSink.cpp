#include "CaptureSink.h"

#include <QApplication>
#include <QTimerEvent>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace halvic {

CaptureSink::CaptureSink(QObject* parent) : QObject(parent), beep_([] { QApplication::beep(); }) {}

CaptureSink::~CaptureSink() {
    std::lock_guard lock(mutex_);
    closeFile();
}

bool CaptureSink::start(const std::string& path) {
    if (on_)
        return true;
    unsigned session;
    bool opened = false;
    {
        std::lock_guard lock(mutex_);
        session = ++session_;
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd_ >= 0) {
            // Others may read the file meanwhile, but no second capture may write into it.
            opened = ::flock(fd_, LOCK_EX | LOCK_NB) == 0 && ::lseek(fd_, 0, SEEK_END) >= 0;
            if (!opened)
                closeFile();
        }
        // Set only once the file is open: the reader never sees a capture without its file.
        on_ = opened;
    }
    if (!opened) {
        reportFailure(session);
        return false;
    }
    blinkPhase_ = true;
    blink_.start(BlinkMs, this);
    emit capturingChanged(true);
    return true;
}

void CaptureSink::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!on_)
            return;
        on_ = false;
        closeFile();
    }
    blink_.stop();
    emit capturingChanged(false);
}

void CaptureSink::write(const uint8_t* data, size_t length) {
    if (!on_ || length == 0)
        return;
    unsigned failed = 0;
    {
        std::lock_guard lock(mutex_);
        if (!on_)
            return;
        size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(fd_, data + done, length - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += size_t(n);
        }
        if (done < length) {
            on_ = false;
            closeFile();
            failed = session_;
        }
    }
    if (failed)
        QMetaObject::invokeMethod(
            this, [this, failed] { reportFailure(failed); }, Qt::QueuedConnection);
}

void CaptureSink::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (!on_)
        return;
    emit statusMessage(blinkPhase_ ? blinkText() : QString());
    blinkPhase_ = !blinkPhase_;
}

void CaptureSink::closeFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void CaptureSink::reportFailure(unsigned session) {
    {
        std::lock_guard lock(mutex_);
        if (session != session_ || on_)
            return; // a newer capture runs
    }
    blink_.stop();
    emit statusMessage(failText());
    if (beep_)
        beep_();
    emit capturingChanged(false);
}

} // namespace halvic
