#pragma once
// The simulated modem as a pure state machine: bytes in (with the time they arrived), actions out.
// It knows nothing of file descriptors or threads; the transport feeds it and carries out its
// actions at the line rate.

#include "action.h"
#include "firmware_image.h"
#include "scenario.h"
#include "settings.h"
#include "xmodem_receiver.h"

#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q86sim {

class Modem {
public:
    enum class Mode { Command, Online, Config, Xmodem };

    explicit Modem(Scenario scenario = {}, Millis now = 0);

    // Bytes received at the modem's own rate and framing.
    void receive(std::string_view bytes, Millis now);
    // Lets time-driven work happen (guard times, prompts, NAKs, restarts). Call at nextDeadline().
    void tick(Millis now);
    std::optional<Millis> nextDeadline() const;
    // Everything the modem has decided to do since the last call, in order.
    std::deque<Action> takeActions();
    bool hasActions() const { return !out_.empty(); }

    Mode mode() const { return mode_; }
    bool dcd() const { return connection_ != Connection::None; }
    bool cts() const { return cts_; }
    Connection connection() const { return connection_; }
    SimState simState() const { return sim_; }
    const Settings& active() const { return active_; }
    const Settings& stored() const { return stored_; }
    const std::string& firmwareVersion() const { return version_; }
    const std::vector<CommandRecord>& commandLog() const { return commands_; }
    const std::vector<AnswerRecord>& answerLog() const { return answers_; }
    // Bytes received on line (data call or SMS tunnel), at most 64 KiB kept.
    const std::string& onlineData() const { return onlineData_; }
    // The last firmware transfer: its payload (padding included) and how it ended.
    const XmodemReceiver& lastTransfer() const { return xmodem_; }
    int upgradesInstalled() const { return upgrades_; }

    // Knobs that may change while the modem runs.
    Scenario& scenario() { return scenario_; }
    void setCts(bool on);
    // Brings a connection up (on line, carrier on) or drops it, as the network would.
    void setConnection(Connection c);

private:
    struct Pending {
        bool active = false;
        Millis due = 0;
    };
    enum class Transfer { NewFirmware, OldFirmware };

    void receiveByte(unsigned char c, Millis now);
    void lineByte(unsigned char c, Millis now);
    void onlineByte(unsigned char c, Millis now);
    void finishLine(Millis now);
    void execute(const std::string& line, Millis now);
    void dispatch(const std::string& cmd, Millis now);
    void answer(const std::string& line, Millis now);
    void prompt(int key);
    void endDialogue();
    void finishTransfer(Millis now);
    void restart(Millis now, int busyMs);
    void installPendingUpgrade();
    // "at*default" after an old firmware's download: the verdict, and the install when it fits.
    void installOldFirmware(Millis now);
    static UpgradeVerdict verdictOf(FirmwareFit fit);
    // Each line after a pause of the upgrade's pace.
    void verdictLines(std::initializer_list<const char*> lines);
    void factoryReset(Millis now);

    // Output helpers; a reply collects its actions first so that a split can cut it.
    void say(std::string text);
    void ok() { say("\r\nOK\r\n"); }
    void error() { say("\r\nERROR\r\n"); }
    void info(const std::string& text) { say("\r\n" + text + "\r\n"); }
    void post(Action a);
    void flushReply(const std::string& cmd);

    std::string apverText() const;
    std::string reportText() const;
    std::string profileText() const;
    void setLineNow(const LineSetting& line);
    void updateDcd(bool before);
    bool matches(const std::vector<std::string>& patterns, const std::string& cmd) const;

    Scenario scenario_;
    Settings active_;
    Settings stored_;
    std::string version_;
    Mode mode_ = Mode::Command;
    Connection connection_ = Connection::None;
    bool cts_ = true;
    SimState sim_ = SimState::Ready;
    int pinTries_ = 3;
    std::size_t csqIndex_ = 0;
    std::size_t cregIndex_ = 0;

    std::string lineBuf_;
    bool overflow_ = false;
    Pending exec_;
    int plusRun_ = 0; // '+' characters in a row

    // On-line escape.
    Millis lastInput_ = 0;
    int escapePluses_ = 0;
    Millis escapeLastPlus_ = 0;
    Pending escape_;

    // Dialogue.
    int key_ = 0;
    Millis dialogueSince_ = 0;

    // Transfer.
    XmodemReceiver xmodem_;
    Transfer transfer_ = Transfer::NewFirmware;
    bool oldImagePending_ = false;
    int upgrades_ = 0;

    Millis busyUntil_ = 0;

    std::vector<Action> reply_;
    bool inReply_ = false;
    std::deque<Action> out_;
    std::vector<CommandRecord> commands_;
    std::vector<AnswerRecord> answers_;
    std::string onlineData_;
};

} // namespace q86sim
