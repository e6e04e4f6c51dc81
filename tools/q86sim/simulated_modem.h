#pragma once
// A simulated modem on the master side of a pseudo-terminal, served by its own thread.
//
//   q86sim::TemporaryPortMap map;       // a private map file named by $BREL_PORT_MAP
//   q86sim::Scenario s;                 // knobs: see scenario.h
//   s.initialSettings = ...;            // e.g. a modem at 9600 7E1
//   q86sim::SimulatedModem modem(s);
//   modem.start();                      // opens the pty and starts serving
//   modem.publish(3);                   // COM3 -> the pty, in the map file of $BREL_PORT_MAP
//   ... the code under test opens "COM3" ...
//   modem.waitForCommand("at*report", 5s);
//   modem.commands(), modem.answers()   // what it was sent
//
// The modem answers only while the application's side has its rate and framing: the rate and stop
// bits show through the pty's termios; data bits and parity (which a pty cannot carry) through the
// LineControl the modem installs for its device, which also gives the application its DCD and CTS.
// Replies leave at the simulated line rate, so read sizes and time-outs behave as on a real line.

#include "action.h"
#include "action_scheduler.h"
#include "line_control.h"
#include "modem.h"
#include "pty_pair.h"
#include "scenario.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace q86sim {

class SimulatedModem : private LineEnd {
public:
    explicit SimulatedModem(Scenario scenario = {});
    ~SimulatedModem() override;
    SimulatedModem(const SimulatedModem&) = delete;
    SimulatedModem& operator=(const SimulatedModem&) = delete;

    // Opens the pty and starts the thread. Throws std::system_error when no pty can be had.
    void start();
    // Stops the thread, withdraws the published map entry and the line control. Idempotent.
    void stop();

    // The device path the application opens (/dev/pts/N); empty before start().
    const std::string& devicePath() const { return devicePath_; }
    // Points COMn at the pty in mapFile (default: the map file the programs read now). The entry is
    // removed again by stop(). False when the file could not be written.
    bool publish(int port);
    bool publish(int port, const std::string& mapFile);

    // Also publishes the modem's lines in a shared-lines file (comm's shared_lines.h) for programs
    // in other processes, named in the entry publish() writes; stop() removes it. Call before start().
    // False with errno when the file cannot be made.
    bool shareLines(const std::string& file);

    // Snapshots, safe from any thread.
    std::vector<CommandRecord> commands() const;
    std::vector<std::string> commandTexts() const;
    std::vector<AnswerRecord> answers() const;
    Settings active() const;
    Settings stored() const;
    LineSetting line() const; // the modem's rate and framing on the wire now
    bool dcd() const;
    // DTR as the application drives it (through the shared-lines file when there is one).
    bool dtr() const;
    std::string firmwareVersion() const;
    std::string transferData() const;
    XmodemReceiver::State transferState() const;
    // Bytes that arrived while the application's side had another rate or framing.
    std::size_t ignoredBytes() const;
    // Bytes the modem has put on the wire.
    std::size_t sentBytes() const { return sent_.load(); }

    // Runs f on the modem under its lock (to read it, or to change knobs and state while it runs).
    void withModem(const std::function<void(Modem&)>& f);
    // Waits until pred holds for the modem (checked after every step of the thread).
    bool waitFor(const std::function<bool(const Modem&)>& pred, std::chrono::milliseconds timeout);
    // Waits until the command log holds a command equal to text (lower case, from its "at").
    bool waitForCommand(const std::string& text, std::chrono::milliseconds timeout);
    // Waits until every action the modem has decided on has been carried out.
    bool waitIdle(std::chrono::milliseconds timeout);

private:
    class Lines;

    void run();
    void wake();
    // The line's end on the pty, for the scheduler (called under mutex_).
    bool applicationMatches(const LineSetting& wire) override;
    std::optional<std::size_t> deliver(std::string_view bytes) override;
    void setDcd(bool on) override;
    void setCts(bool on) override;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Modem modem_;
    ActionScheduler scheduler_; // under mutex_
    std::unique_ptr<comm::PtyPair> pty_;
    std::shared_ptr<Lines> lines_;
    std::string devicePath_;
    int wakeFd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};

    int64_t hangupUntilUs_ = 0; // the thread's own

    std::atomic<std::size_t> sent_{0};
    std::string sharedLines_;
    std::string publishedMap_;
    int publishedPort_ = 0;
};

} // namespace q86sim
