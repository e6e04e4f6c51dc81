#include "receive_pipeline.h"

namespace terminal {

class ReceivePipeline::Sink : public RecogniserSink {
public:
    Sink(ReceivePipeline& pipeline, ScreenState& state) : pipeline_(pipeline), state_(state) {}
    void text(const uint8_t* data, size_t length) override {
        pipeline_.scan(data, length);
        state_.PutTerminalChars(data, length);
    }
    // Recognised sequences are neither scanned nor captured.
    void capability(const CapabilityEvent& event) override { state_.carryOut(event); }

private:
    ReceivePipeline& pipeline_;
    ScreenState& state_;
};

ReceivePipeline::ReceivePipeline(std::shared_ptr<ScreenModel> model) : model_(std::move(model)) {}

void ReceivePipeline::setCapture(std::shared_ptr<CaptureSink> capture) {
    std::lock_guard lock(mutex_);
    capture_ = std::move(capture);
}

void ReceivePipeline::scan(const uint8_t* data, size_t length) {
    if (autoDownload_) {
        const ZmodemDetection found = detector_.ZmodemDetect(data, length);
        for (int i = 0; i < found.headers && onHeader_; ++i)
            onHeader_();
    }
    if (capture_)
        capture_->write(data, length);
}

std::string ReceivePipeline::terminalData(SequenceRecogniser& recogniser, const uint8_t* data,
                                          size_t length) {
    std::lock_guard lock(mutex_);
    auto state = model_->lock();
    Sink sink(*this, *state);
    recogniser.feed(data, length, sink);
    return state->takeReplies();
}

void ReceivePipeline::rawData(const uint8_t* data, size_t length) {
    std::lock_guard lock(mutex_);
    scan(data, length);
    model_->lock()->PutDumbChars(data, length);
}

void ReceivePipeline::ResetZmodemDetect() {
    std::lock_guard lock(mutex_);
    detector_.ResetZmodemDetect();
}

} // namespace terminal
