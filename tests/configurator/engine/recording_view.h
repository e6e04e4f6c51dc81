#pragma once
// An EngineView that records every call as a line of text ("progress 28", "baud 9") and keeps the
// state the windows would show, for the dialogues' tests. Safe to call from a worker thread.

#include "Configstruct.h"
#include "engine_view.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace enginetest {

class RecordingView : public EngineView {
public:
    struct Boxes {
        int baudIndex = -1;
        std::string dataBits, stopBits, parity;
        bool operator==(const Boxes&) const = default;
    };

    void setStatusText(const std::string& t) override { note("status " + t); }
    void setProgress(int p) override {
        std::lock_guard l(m_);
        progress = p;
        calls.push_back("progress " + std::to_string(p));
    }
    void stepProgress() override {
        std::lock_guard l(m_);
        ++progress;
        calls.push_back("step");
    }
    void setAutoAnswer(bool on, const std::string& rings) override {
        note(on ? "autoanswer on " + rings : "autoanswer off");
    }
    void selectBearer(int code) override { note("bearer " + std::to_string(code)); }
    void selectDtrDrop(int code) override { note("dtr " + std::to_string(code)); }
    void selectMainDataBits(const std::string& t) override { note("main data " + t); }
    void selectMainStopBits(const std::string& t) override { note("main stop " + t); }
    void selectMainParity(const std::string& t) override { note("main parity " + t); }
    void selectMainFlow(const std::string& t) override { note("main flow " + t); }
    void selectMainBaudIndex(int i) override { note("main baud " + std::to_string(i)); }
    bool configSerialTicked() override { return configSerial; }

    void showDetectWindows() override { note("show"); }
    void setDetectStatus(const std::string& t) override { note("label " + t); }
    void selectBaudIndex(int i) override {
        std::lock_guard l(m_);
        boxes.baudIndex = i;
        calls.push_back("baud " + std::to_string(i));
    }
    void selectDataBits(const std::string& t) override { box(&Boxes::dataBits, "data ", t); }
    void selectStopBits(const std::string& t) override { box(&Boxes::stopBits, "stop ", t); }
    void selectParity(const std::string& t) override { box(&Boxes::parity, "parity ", t); }
    void endDetectModal() override { note("end"); }

    std::vector<std::string> log() {
        std::lock_guard l(m_);
        return calls;
    }
    // The calls whose text begins with prefix.
    std::vector<std::string> logOf(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& c : log())
            if (c.rfind(prefix, 0) == 0)
                out.push_back(c);
        return out;
    }

    bool configSerial = true;
    int progress = 0;
    Boxes boxes;

private:
    void note(std::string s) {
        std::lock_guard l(m_);
        calls.push_back(std::move(s));
    }
    void box(std::string Boxes::*field, const char* name, const std::string& t) {
        std::lock_guard l(m_);
        boxes.*field = t;
        calls.push_back(name + t);
    }
    std::mutex m_;
    std::vector<std::string> calls;
};

// While alive: the view is installed, and every applied configuration record is kept.
struct ViewInstall {
    ViewInstall() : view(std::make_shared<RecordingView>()) {
        setEngineView(view);
        setApplyConfigToForm([this](const ConfigRecord& r) { applied.push_back(r); });
    }
    ~ViewInstall() {
        setEngineView(nullptr);
        setApplyConfigToForm(nullptr);
    }
    ViewInstall(const ViewInstall&) = delete;
    ViewInstall& operator=(const ViewInstall&) = delete;
    std::shared_ptr<RecordingView> view;
    std::vector<ConfigRecord> applied;
};

} // namespace enginetest
