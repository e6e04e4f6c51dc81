#include "ReaderControl.h"

namespace halvic {

void ReaderControl::stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
}

void ReaderControl::pause(bool handBackRequest) {
    {
        std::lock_guard lock(mutex_);
        handBack_ = handBackRequest;
        // The later request wins: a resume not yet taken must not let the reader run into the next
        // transfer.
        pause_ = true;
        resume_ = false;
    }
    changed_.notify_all();
}

void ReaderControl::resume() {
    {
        std::lock_guard lock(mutex_);
        resume_ = true;
        pause_ = false;
    }
    changed_.notify_all();
}

bool ReaderControl::handBackRequested() const {
    std::lock_guard lock(mutex_);
    return handBack_;
}

bool ReaderControl::stopped() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

ReaderControl::Wake ReaderControl::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    auto any = [this] { return stop_ || pause_ || resume_; };
    if (timeout.count() < 0)
        changed_.wait(lock, any);
    else if (timeout.count() == 0 ? !any() : !changed_.wait_for(lock, timeout, any))
        return Wake::Timeout; // a look without waiting never sleeps in the kernel: it runs once a read
    if (stop_)
        return Wake::Stop;
    if (pause_) {
        pause_ = false;
        return Wake::Pause;
    }
    resume_ = false;
    return Wake::Resume;
}

bool ReaderControl::sleepUnlessStopped(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, timeout, [this] { return stop_; });
}

void ReaderControl::setPausedAck(bool paused) {
    {
        std::lock_guard lock(mutex_);
        pausedAck_ = paused;
    }
    changed_.notify_all();
}

bool ReaderControl::waitPausedAck(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return pausedAck_ || stop_; }) && pausedAck_;
}

} // namespace halvic
