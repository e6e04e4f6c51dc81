// The one road of received data in a port window: every text run, capability and dumb-terminal block
// (and the dumb terminal's local echo) passes the ZMODEM detector, the capture sink and the screen, in
// that order, under one lock. The reader, the local echo, the tests and the bench all feed it.
#pragma once

#include "screen_model.h"
#include "sequence_recogniser.h"
#include "zmodem_detector.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace terminal {

// Where received text is copied while capture is on.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // Whether writes are taken now; text is only collected for a sink that captures.
    virtual bool capturing() const { return true; }
    virtual void write(const uint8_t* data, size_t length) = 0;
};

class ReceivePipeline {
public:
    explicit ReceivePipeline(std::shared_ptr<ScreenModel> model);

    // Runs on the feeding thread, once for each sender's opening header found, under the pipeline's
    // lock: it may only hand the news on (post it), never wait. Set before anything is fed.
    void setOnZmodemHeader(std::function<void()> onHeader) { onHeader_ = std::move(onHeader); }
    // Whether received text is scanned for that header.
    void setAutoDownload(bool on) { autoDownload_ = on; }
    bool autoDownload() const { return autoDownload_; }
    void setCapture(std::shared_ptr<CaptureSink> capture);

    // One read of an ANSI or VT100 port through the reader's recogniser; returns the answers the
    // screen wants written to the port.
    std::string terminalData(SequenceRecogniser& recogniser, const uint8_t* data, size_t length);
    // One dumb-terminal block, read or echoed.
    void rawData(const uint8_t* data, size_t length);

    // A fresh detector (after a transfer: nothing before it combines with what comes after).
    void ResetZmodemDetect();

    ScreenModel& model() { return *model_; }
    const std::shared_ptr<ScreenModel>& sharedModel() const { return model_; }

private:
    class Sink;
    // The detector for one run of text (the caller holds mutex_).
    void detect(const uint8_t* data, size_t length);

    std::shared_ptr<ScreenModel> model_;
    std::function<void()> onHeader_;
    std::atomic<bool> autoDownload_{false};
    std::mutex mutex_; // the detector and the capture sink; taken before the model's lock
    ZmodemDetector detector_;
    std::shared_ptr<CaptureSink> capture_;
};

} // namespace terminal
