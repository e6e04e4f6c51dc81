#include "ReaderThread.h"

#include "serial_unread.h"
#include "seriallib.h"

#include <chrono>
#include <vector>

namespace halvic {

using namespace std::chrono_literals;

namespace {

std::chrono::microseconds tookSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

} // namespace

ReaderThread::ReaderThread(int port, terminal::TerminalType type,
                           std::shared_ptr<const terminal::TermcapTable> table,
                           std::shared_ptr<terminal::ReceivePipeline> pipeline, QObject* parent)
    : QThread(parent), port_(port), type_(type), table_(std::move(table)), pipeline_(std::move(pipeline)) {}

ReaderThread::~ReaderThread() {
    control_.stop();
    wait();
}

void ReaderThread::run() {
    if (type_ == terminal::TerminalType::Dumb || !table_)
        runDumb();
    else
        runTerminal();
}

bool ReaderThread::waitBeforeRead(std::chrono::milliseconds gather) {
    for (;;) {
        // The reads wait for the line themselves, so the requests are only looked at; the reader
        // waits on them only while the line gathers bytes or after a failed read.
        const auto timeout = paused_ ? -1ms : gather;
        switch (control_.wait(timeout)) {
        case ReaderControl::Wake::Stop:
            return false;
        case ReaderControl::Wake::Pause:
            paused_ = true;
            handBackRequest();
            control_.setPausedAck(true);
            continue;
        case ReaderControl::Wake::Resume:
            paused_ = false;
            control_.setPausedAck(false);
            return true;
        case ReaderControl::Wake::Timeout:
            if (paused_)
                continue;
            return true;
        }
    }
}

int ReaderThread::read(bool waiting, int firstByteMs, int collectMs, int size, uint8_t* buffer) {
    // Set before every read: whoever had the port while the reader was paused may have changed them.
    if (waiting)
        SerialSetReadTimeouts(port_, firstByteMs, collectMs);
    else
        SerialSetReadTimeouts(port_, -1, 0);
    return SerialRead(port_, buffer, size);
}

void ReaderThread::runTerminal() {
    terminal::SequenceRecogniser recogniser(table_);
    std::vector<uint8_t> buffer(ReadPacing::TakeSize);
    ReadPacing pacing(TerminalReadSize);
    while (waitBeforeRead(pacing.next().before)) {
        const auto start = std::chrono::steady_clock::now();
        const int n = read(pacing.next().waiting, 50, 100, pacing.size(), buffer.data());
        pacing.after(n, tookSince(start));
        if (n <= 0)
            continue; // errors count as a quiet read
        ++blocksRead_;
        noteRead(buffer.data(), n);
        writeReplies(pipeline_->terminalData(recogniser, buffer.data(), static_cast<size_t>(n)));
        changed();
    }
}

void ReaderThread::runDumb() {
    if (!control_.sleepUnlessStopped(1000ms))
        return;
    // A read that waits for the line waits up to 10 ms for the first byte and returns with what has
    // come: a read that returned at once with nothing and a 10 ms wait on the requests alone left
    // the line unread for 10 ms at a time, and a fast line overflowed.
    std::vector<uint8_t> buffer(ReadPacing::TakeSize);
    auto quietSince = std::chrono::steady_clock::now();
    bool redrawPending = false;
    ReadPacing pacing(DumbReadSize);
    while (waitBeforeRead(pacing.next().before)) {
        const auto start = std::chrono::steady_clock::now();
        const int n = read(pacing.next().waiting, DumbFirstByteMs, 0, pacing.size(), buffer.data());
        pacing.after(n, tookSince(start));
        if (n > 0) {
            ++blocksRead_;
            noteRead(buffer.data(), n);
            pipeline_->rawData(buffer.data(), static_cast<size_t>(n));
            changed();
            redrawPending = doubleByte_;
            quietSince = std::chrono::steady_clock::now();
        } else if (redrawPending && doubleByte_ && std::chrono::steady_clock::now() - quietSince > 50ms) {
            redrawPending = false;
            emit repaintAll();
        }
    }
}

void ReaderThread::noteRead(const uint8_t* bytes, int size) {
    request_.read(bytes, static_cast<size_t>(size), ReceiverRequest::Clock::now());
}

void ReaderThread::handBackRequest() {
    // Whatever the pause was for, what was read before it is not a request for a later transfer.
    const auto request = request_.pending(ReceiverRequest::Clock::now());
    request_.clear();
    if (request && control_.handBackRequested())
        SerialUnread(port_, &*request, 1);
}

void ReaderThread::changed() {
    if (!updatePending_.exchange(true))
        emit screenChanged();
}

void ReaderThread::writeReplies(const std::string& replies) {
    if (!replies.empty())
        SerialWrite(port_, replies.data(), static_cast<int>(replies.size()));
}

} // namespace halvic
