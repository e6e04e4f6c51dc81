#include "PatternSendThread.h"

#include "seriallib.h"

namespace halvic {

void StopSignal::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    changed_.notify_all();
}

bool StopSignal::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

bool StopSignal::waitFor(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return set_; });
}

PatternSendThread::PatternSendThread(PatternJob job, QObject* parent)
    : QThread(parent), job_(std::move(job)) {}

void PatternSendThread::run() {
    const int port = job_.port;
    job_.stop->waitFor(std::chrono::milliseconds(100));
    int saved = 0;
    const bool haveSaved = SerialGetWriteTimeout(port, &saved) == 0;
    // No time-out: each write returns whole, or cut short by Stop.
    SerialSetWriteTimeout(port, 0);
    terminal::PatternLoopHooks hooks;
    hooks.waitStop = [this](std::chrono::milliseconds limit) { return job_.stop->waitFor(limit); };
    hooks.write = [port](const uint8_t* data, size_t length) { return SerialWrite(port, data, int(length)); };
    hooks.flush = [port] { SerialFlush(port, 2); };
    hooks.progress = [this](long count) { emit progress(count); };
    sent_ = terminal::runPatternLoop(job_.pass, job_.countMode, job_.repeatCount, hooks);
    if (haveSaved)
        SerialSetWriteTimeout(port, saved);
    emit patternDone();
}

} // namespace halvic
