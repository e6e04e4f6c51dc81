#pragma once
// What the signal monitor's start-up and queries show in the monitor window, and the window's
// state fields they keep.
//
// The worker calls these on its own thread and waits for each; the poll timer calls the same
// queries on the GUI thread. The windows install an implementation that carries each call out on
// the GUI thread. Without an installed view every call does nothing.

#include <cstdint>
#include <memory>
#include <string>

// The state the monitor keeps between its start-up, its polls and the window's close sequence.
struct MonitorFields {
    std::int32_t NoSignalCount = 0;
    std::int32_t EscapeResult = 0;
    std::int32_t EchoProbeResult = 0;
    std::int32_t DcdAtStart = 0;
    std::int32_t SmsTunnelWasOn = 0; // 1 on, -1 off, 0 no answer recognised
    std::int32_t SimState = 0;       // 1 registered, -1 not registered, -2 a state outside 0..5
};

enum class LabelColour { Unchanged, WindowText, Red };

class MonitorView {
public:
    virtual ~MonitorView() = default;

    virtual void setOperator(const std::string& text, LabelColour colour) {
        (void)text;
        (void)colour;
    }
    virtual void setRegistration(const std::string& text, LabelColour colour) {
        (void)text;
        (void)colour;
    }
    virtual void setRssi(const std::string& text) { (void)text; }
    // 0..3 bars lit, shortest first.
    virtual void setBars(int lit) { (void)lit; }
    virtual void repaint() {}
    // The PIN dialog shown modally; its entry, empty when no PIN was given.
    virtual std::string askPin() { return {}; }
    // A box with an OK button.
    virtual void showMessage(const std::string& caption, const std::string& text) {
        (void)caption;
        (void)text;
    }
    // Starts the window's poll timer, unless the window is already closing.
    virtual void enablePollTimer() {}
    // The window's fields. The worker uses them only while the window waits for it or is not
    // closing, so they need no lock.
    virtual MonitorFields& fields() { return fields_; }

private:
    MonitorFields fields_;
};

std::shared_ptr<MonitorView> monitorView();
// Installed by the monitor window and by tests; null puts the do-nothing view back.
void setMonitorView(std::shared_ptr<MonitorView> view);
