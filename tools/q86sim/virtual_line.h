#pragma once
// The simulated modem behind a comm::Port on a virtual clock: no pty, no thread, no real time.
//
// Reads wait by advancing the line's clock, so a dialogue with long pauses runs at once and the
// same way every time. A test installs the port through comm::setPortOpener and, for the engine's
// sleeps, a clock whose sleep advances the line:
//
//   auto line = std::make_shared<q86sim::VirtualLine>(scenario);
//   comm::setPortOpener([line](const std::string&) { return line->open(); });
//   ... engine clock: nowMs() -> line->nowUs() / 1000, sleepMs(ms) -> line->advanceMs(ms)
//
// Bytes cross the line at its rate and framing as on the pty, and only while the application's
// device control block matches the modem's line setting. Safe to use from one thread at a time
// plus readers of the logs.

#include "action_scheduler.h"
#include "comm_port.h"
#include "modem.h"
#include "scenario.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace q86sim {

class VirtualLine : public std::enable_shared_from_this<VirtualLine>, private LineEnd {
public:
    explicit VirtualLine(Scenario scenario = {});

    // The application's end of the line; one port at a time is expected, as with a device.
    std::unique_ptr<comm::Port> open();

    int64_t nowUs() const;
    void advanceMs(int ms);
    void advanceUs(int64_t us);

    // Runs f on the modem under the line's lock.
    void withModem(const std::function<void(Modem&)>& f);
    std::vector<std::string> commandTexts() const;
    LineSetting wire() const;
    bool dcd() const;
    bool cts() const;

private:
    friend class VirtualPort;

    void runUntil(int64_t us); // lock held
    // The line's end at the application's port, for the scheduler (lock held).
    bool applicationMatches(const LineSetting& wire) override;
    std::optional<std::size_t> deliver(std::string_view bytes) override;
    void setDcd(bool on) override { dcd_ = on; }
    void setCts(bool on) override { cts_ = on; }

    mutable std::mutex mutex_;
    Modem modem_;
    ActionScheduler scheduler_;
    int64_t now_ = 0;
    std::string rx_; // bytes arrived at the application, not yet read
    comm::Dcb app_;
    bool dcd_ = false;
    bool cts_ = true;
};

} // namespace q86sim
