#include "receive_pipeline.h"

namespace terminal {

class ReceivePipeline::Sink : public RecogniserSink {
public:
    Sink(ReceivePipeline& pipeline, ScreenState& state, std::string* captured)
        : pipeline_(pipeline), state_(state), captured_(captured) {}
    void text(const uint8_t* data, size_t length) override {
        pipeline_.detect(data, length);
        if (captured_)
            captured_->append(reinterpret_cast<const char*>(data), length);
        state_.PutTerminalChars(data, length);
    }
    // Recognised sequences are neither scanned nor captured.
    void capability(const CapabilityEvent& event) override { state_.carryOut(event); }

private:
    ReceivePipeline& pipeline_;
    ScreenState& state_;
    std::string* captured_;
};

ReceivePipeline::ReceivePipeline(std::shared_ptr<ScreenModel> model) : model_(std::move(model)) {}

void ReceivePipeline::setCapture(std::shared_ptr<CaptureSink> capture) {
    std::lock_guard lock(mutex_);
    capture_ = std::move(capture);
}

void ReceivePipeline::detect(const uint8_t* data, size_t length) {
    if (autoDownload_) {
        const ZmodemDetection found = detector_.ZmodemDetect(data, length);
        for (int i = 0; i < found.headers && onHeader_; ++i)
            onHeader_();
    }
}

std::string ReceivePipeline::terminalData(SequenceRecogniser& recogniser, const uint8_t* data,
                                          size_t length) {
    std::lock_guard lock(mutex_);
    const bool capturing = capture_ && capture_->capturing();
    std::string captured;
    std::string replies;
    {
        auto state = model_->lock();
        Sink sink(*this, *state, capturing ? &captured : nullptr);
        recogniser.feed(data, length, sink);
        replies = state->takeReplies();
    }
    // The file is written outside the screen's lock, so a slow disk never holds up the painting.
    if (!captured.empty())
        capture_->write(reinterpret_cast<const uint8_t*>(captured.data()), captured.size());
    return replies;
}

void ReceivePipeline::rawData(const uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    detect(data, length);
    if (capture_)
        capture_->write(data, length);
    model_->lock()->PutDumbChars(data, length);
}

void ReceivePipeline::ResetZmodemDetect() {
    std::lock_guard lock(mutex_);
    detector_.ResetZmodemDetect();
}

} // namespace terminal
