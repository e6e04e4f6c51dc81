// A port window's capture file: everything the window receives is appended to it while capturing is
// on. Writes come from the reader thread (and local echo from the GUI thread); switching on and off
// runs on the GUI thread. One lock covers open, write and close, so a close never overlaps a write.
#pragma once

#include "receive_pipeline.h"

#include <QBasicTimer>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace halvic {

class CaptureSink : public QObject, public terminal::CaptureSink {
    Q_OBJECT
public:
    static constexpr int TimerCaptureStatus = 206;
    static constexpr int BlinkMs = 1000;

    explicit CaptureSink(QObject* parent = nullptr);
    ~CaptureSink() override;

    // Opens the file for appending (created when missing, never truncated) and starts the blink.
    // On failure: the status text, a beep, capturing stays off; false.
    bool start(const std::string& path);
    void stop();
    bool capturing() const override { return on_; }

    // One run as received, in one write. Any thread. A failed write ends capturing; the GUI thread
    // hears of it by a queued call.
    void write(const uint8_t* data, size_t length) override;

    // Tests count the beeps.
    void setBeep(std::function<void()> beep) { beep_ = std::move(beep); }

    static QString failText() { return QStringLiteral("Capture file open fail"); }
    static QString blinkText() { return QStringLiteral("Capturing..."); }

signals:
    void statusMessage(const QString& text);
    void capturingChanged(bool on);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void closeFile(); // under mutex_
    void reportFailure(unsigned session);

    std::mutex mutex_; // fd_ and session_
    int fd_ = -1;
    unsigned session_ = 0; // grows at every start, so a late failure report of an old capture is dropped
    std::atomic<bool> on_{false};
    bool blinkPhase_ = false;
    QBasicTimer blink_;
    std::function<void()> beep_;
};

} // namespace halvic
