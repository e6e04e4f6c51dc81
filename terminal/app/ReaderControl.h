// How the GUI steers a port's reader: a stop that stays set once given (it also ends a paused reader),
// and one-shot pause and resume requests, looked at in that order; of a pause and a resume not yet
// taken, only the later one counts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace halvic {

class ReaderControl {
public:
    enum class Wake { Stop, Pause, Resume, Timeout };

    void stop();
    // handBackRequest: a transmit follows, which wants a receiver's request the reader just read.
    void pause(bool handBackRequest = false);
    void resume();
    bool stopped() const;
    // Whether the pause last asked for wants the request handed back.
    bool handBackRequested() const;

    // Waits for a request, at most `timeout` (forever when it is negative).
    Wake wait(std::chrono::milliseconds timeout);
    // Sleeps up to `timeout`; false when the stop came first.
    bool sleepUnlessStopped(std::chrono::milliseconds timeout);

    // The reader tells that it is paused and outside any read, or running again.
    void setPausedAck(bool paused);
    // Waits until the reader has taken a pause (a transfer may then use the port); false on time-out.
    bool waitPausedAck(std::chrono::milliseconds timeout);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool pause_ = false;
    bool resume_ = false;
    bool handBack_ = false;
    bool pausedAck_ = false;
};

} // namespace halvic
