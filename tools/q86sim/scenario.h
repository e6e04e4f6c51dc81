#pragma once
// Everything a test can choose about one simulated modem. A default Scenario is a Q8690I with
// current firmware at its factory setting: 115200 8N1, echo on, SIM ready, registered.

#include "settings.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace q86sim {

enum class Model { Q8690I, Q8630 };
enum class SimState { Ready, PinRequired, PukRequired, Absent };
// A connection keeps the carrier (DCD) on; the modem starts on line when there is one.
enum class Connection { None, DataCall, SmsTunnel };
// What the modem says after a firmware transfer. FromImage checks the received image.
enum class UpgradeVerdict { FromImage, Success, Failed, MisMatch, Silent };

// The reply to a command is sent in two parts with a pause between: the first `at` bytes of the
// reply (not counting the echo), then the rest.
struct ReplySplit {
    std::string command; // as for Scenario::noReplyTo
    std::size_t at = 0;
    int pauseMs = 0;
};

struct Scenario {
    // Identity ("at*apver").
    Model model = Model::Q8690I;
    std::string firmwareVersion = "2.0.3"; // "1.0.0" and "1.0.1" are the old firmware
    std::string build = "1234";
    std::string upgradedVersion = "2.1.0"; // reported after a successful upgrade

    // The profile at power-on, active and stored alike; unset means the factory profile. Its line
    // member is the modem's rate and framing.
    std::optional<Settings> initialSettings;

    // Lines and connection at power-on.
    Connection connection = Connection::None;
    bool cts = true;
    // With a connection: the modem starts in command mode with the carrier still on (a call left up
    // after an earlier escape), so that "+++" is echoed rather than answered.
    bool carrierInCommandMode = false;
    // The SMS tunnel comes up (carrier on) as the modem takes the first command matching this
    // (as for noReplyTo); it stays in command mode and answers as usual.
    std::string dcdOnCommand;
    // The SMS tunnel comes up (carrier on) as the modem receives "+++".
    bool dcdOnEscape = false;

    // Silence needed before and after "+++" on line, in ms.
    int guardMs = 1000;

    // SIM card and network.
    SimState sim = SimState::Ready;
    std::string pin = "1234";
    std::string puk = "12345678";
    int pinAttempts = 3;
    // One entry per query, the last one repeating: the text after "+CSQ: " and the <stat> of
    // "+CREG: 0,<stat>" (any character, also outside 0..5).
    std::vector<std::string> csq = {"21,0"};
    std::vector<std::string> creg = {"1"};
    std::string operatorCode = "00101";
    std::map<std::string, std::string> operatorNames = {{"00101", "TestNet"}};

    // Pacing of the modem's own work, in ms.
    int promptDelayMs = 80;       // before each "at*config" prompt
    int restartMs = 300;          // a restart ("at+cfun=1") ignores input this long
    int factoryResetMs = 600;     // "at*default": until "Setup OK", and again until the ready line
    int upgradeStepMs = 300;      // between the lines of an upgrade verdict
    int upgradeSecondLineMs = -1; // before its second line; -1: upgradeStepMs
    int configTimeoutMs = 20000;  // an unanswered dialogue is left after this

    // Faults.
    bool mute = false; // sends nothing at all, not even echo
    // Commands matched case-insensitively against the line from its "at"; a trailing '*' makes a
    // prefix ("at+cpin=*"). A command in noReplyTo is not carried out and gets no reply.
    std::vector<std::string> noReplyTo;
    // The exact bytes sent in place of the reply; the command is not carried out.
    std::map<std::string, std::string> replyOverride;
    std::vector<ReplySplit> splits;
    // When set, "at*report" answers this text (for example "\r\nEnter SMS text\r\n") instead.
    std::string reportRefusal;
    int configStopAtKey = -1;        // the dialogue stops prompting at this key
    int configWrongPromptAtKey = -1; // shows an unknown prompt in place of this key
    // Bytes at a wrong rate or framing are answered with as many bytes of noise (never "OK",
    // "at" or "+") instead of silence.
    bool noiseOnMismatch = false;

    // The XMODEM receiver behind "at*upg" and "at+wdwl". Blocks count from 1.
    int xmodemNakBlockOnce = -1;
    int xmodemCancelAtBlock = -1;
    bool xmodemNeverStart = false;
    int xmodemFirstNakMs = 300;
    int xmodemNakIntervalMs = 1000;
    UpgradeVerdict verdict = UpgradeVerdict::FromImage;
};

} // namespace q86sim
