#pragma once
// What the modem does on its side of the line, in order: send bytes, pause, change its own rate
// and framing, raise or drop its output lines. The transport carries these out; the pure tests
// read them.

#include "line_setting.h"

#include <cstdint>
#include <string>

namespace q86sim {

using Millis = std::int64_t;

struct Action {
    enum class Kind { Send, Pause, SetLine, SetDcd, SetCts };
    Kind kind = Kind::Send;
    std::string bytes; // Send
    int pauseMs = 0;   // Pause
    LineSetting line;  // SetLine: takes effect after the bytes before it have left
    bool on = false;   // SetDcd, SetCts

    static Action send(std::string b) {
        Action a;
        a.bytes = std::move(b);
        return a;
    }
    static Action pause(int ms) {
        Action a;
        a.kind = Kind::Pause;
        a.pauseMs = ms;
        return a;
    }
    static Action setLine(const LineSetting& l) {
        Action a;
        a.kind = Kind::SetLine;
        a.line = l;
        return a;
    }
    static Action setDcd(bool on) {
        Action a;
        a.kind = Kind::SetDcd;
        a.on = on;
        return a;
    }
    static Action setCts(bool on) {
        Action a;
        a.kind = Kind::SetCts;
        a.on = on;
        return a;
    }
};

// One command line the modem carried out (or refused), as it stood from its "at".
struct CommandRecord {
    Millis at = 0;
    std::string text;
    uint32_t baud = 0; // the modem's rate when it arrived
};

// One answer of the configuration dialogue.
struct AnswerRecord {
    Millis at = 0;
    int key = 0;
    std::string value;
};

} // namespace q86sim
