#pragma once
// The simulated modem on a virtual line behind one port name, for tests of the dialogues' logic:
// the engine's pauses and reads advance the line's clock, so long waits take no real time. The
// opener and the clock are installed for the object's life; the real ones come back at its end.
// The line takes its own lock on every call, so a worker and the GUI thread may take turns on it.

#include "comm_port.h"
#include "link_clock.h"
#include "virtual_line.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace enginetest {

// The engine's pauses advance the line.
class LineClock : public engine::LinkClock {
public:
    explicit LineClock(std::shared_ptr<q86sim::VirtualLine> line) : line_(std::move(line)) {}
    int64_t nowMs() override { return line_->nowUs() / 1000; }
    void sleepMs(int ms) override {
        if (ms > 0)
            sleptMs += ms;
        line_->advanceMs(ms);
    }
    // The pauses asked for.
    std::atomic<int64_t> sleptMs{0};

private:
    std::shared_ptr<q86sim::VirtualLine> line_;
};

class VirtualModem {
public:
    explicit VirtualModem(const std::string& portName, q86sim::Scenario s = {})
        : line_(std::make_shared<q86sim::VirtualLine>(std::move(s))) {
        comm::setPortOpener([line = line_, portName](const std::string& name) -> std::unique_ptr<comm::Port> {
            if (name != portName)
                return nullptr;
            return line->open();
        });
        engine::setLinkClock(clock_);
    }
    ~VirtualModem() {
        comm::setPortOpener({});
        engine::setLinkClock(nullptr);
    }
    VirtualModem(const VirtualModem&) = delete;
    VirtualModem& operator=(const VirtualModem&) = delete;

    // What f reads of the modem, under the line's lock.
    template <class F>
    auto about(F f) -> decltype(f(std::declval<const q86sim::Modem&>())) {
        decltype(f(std::declval<const q86sim::Modem&>())) out{};
        line_->withModem([&](q86sim::Modem& m) { out = f(m); });
        return out;
    }
    LineClock& clock() { return *clock_; }
    std::vector<std::string> commandTexts() const { return line_->commandTexts(); }
    q86sim::Settings stored() {
        return about([](const q86sim::Modem& m) { return m.stored(); });
    }
    q86sim::Settings active() {
        return about([](const q86sim::Modem& m) { return m.active(); });
    }
    std::vector<q86sim::AnswerRecord> answers() {
        return about([](const q86sim::Modem& m) { return m.answerLog(); });
    }
    q86sim::LineSetting line() const { return line_->wire(); }
    bool dcd() const { return line_->dcd(); }

private:
    std::shared_ptr<q86sim::VirtualLine> line_;
    std::shared_ptr<LineClock> clock_ = std::make_shared<LineClock>(line_);
};

} // namespace enginetest
