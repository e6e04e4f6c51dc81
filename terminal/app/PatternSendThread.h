// The worker of a pattern job: writes the pattern to the port pass after pass until stopped or the
// repeat count is reached, reporting the count about once a second.
#pragma once

#include "pattern_generator.h"

#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace halvic {

// A manual-reset stop signal shared by the job's dialog and its worker.
class StopSignal {
public:
    void set();
    bool isSet() const;
    // True once set, waiting at most the time.
    bool waitFor(std::chrono::milliseconds limit);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

struct PatternJob {
    int port = 0;
    std::vector<uint8_t> pass; // one pass of the pattern
    terminal::PatternCountMode countMode = terminal::PatternCountMode::UntilUserBreak;
    uint32_t repeatCount = 0;
    std::shared_ptr<StopSignal> stop;
};

class PatternSendThread : public QThread {
    Q_OBJECT
public:
    explicit PatternSendThread(PatternJob job, QObject* parent = nullptr);
    long sent() const { return sent_; }

signals:
    // Complete passes written so far.
    void progress(long count);
    // The job's last act.
    void patternDone();

protected:
    void run() override;

private:
    const PatternJob job_;
    std::atomic<long> sent_{0};
};

} // namespace halvic
