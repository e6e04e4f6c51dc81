#include "modem.h"

#include "modem_parse.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace q86sim {

namespace {

using detail::capLog;
using detail::lower;

constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kMaxOnlineData = 64 * 1024;
constexpr Millis kLongAgo = -1'000'000'000;

} // namespace

Modem::Modem(Scenario scenario, Millis now) : scenario_(std::move(scenario)) {
    active_ = scenario_.initialSettings.value_or(Settings::factory());
    stored_ = active_;
    version_ = scenario_.firmwareVersion;
    connection_ = scenario_.connection;
    mode_ = connection_ == Connection::None || scenario_.carrierInCommandMode ? Mode::Command : Mode::Online;
    cts_ = scenario_.cts;
    sim_ = scenario_.sim;
    pinTries_ = scenario_.pinAttempts;
    lastInput_ = now + kLongAgo;
    out_.push_back(Action::setLine(active_.line));
    out_.push_back(Action::setCts(cts_));
    out_.push_back(Action::setDcd(dcd()));
}

std::deque<Action> Modem::takeActions() {
    std::deque<Action> out;
    out.swap(out_);
    return out;
}

void Modem::post(Action a) {
    if (a.kind == Action::Kind::Send && (scenario_.mute || a.bytes.empty())) {
        return;
    }
    if (inReply_) {
        reply_.push_back(std::move(a));
    } else {
        out_.push_back(std::move(a));
    }
}

void Modem::say(std::string text) {
    post(Action::send(std::move(text)));
}

void Modem::flushReply(const std::string& cmd) {
    // One reply is one burst: join its texts so that a split can fall anywhere in it.
    std::vector<Action> joined;
    for (Action& a : reply_) {
        if (a.kind == Action::Kind::Send && !joined.empty() && joined.back().kind == Action::Kind::Send) {
            joined.back().bytes += a.bytes;
        } else {
            joined.push_back(std::move(a));
        }
    }
    reply_.swap(joined);
    const ReplySplit* split = nullptr;
    for (const ReplySplit& s : scenario_.splits) {
        if (matches({s.command}, cmd)) {
            split = &s;
            break;
        }
    }
    std::size_t offset = 0;
    for (Action& a : reply_) {
        if (split && a.kind == Action::Kind::Send && split->at > offset &&
            split->at < offset + a.bytes.size()) {
            const std::size_t cut = split->at - offset;
            out_.push_back(Action::send(a.bytes.substr(0, cut)));
            out_.push_back(Action::pause(split->pauseMs));
            out_.push_back(Action::send(a.bytes.substr(cut)));
            offset += a.bytes.size();
            split = nullptr;
            continue;
        }
        if (a.kind == Action::Kind::Send) {
            offset += a.bytes.size();
        }
        out_.push_back(std::move(a));
    }
    reply_.clear();
}

bool Modem::matches(const std::vector<std::string>& patterns, const std::string& cmd) const {
    for (const std::string& p : patterns) {
        const std::string lp = lower(p);
        if (!lp.empty() && lp.back() == '*') {
            if (cmd.rfind(lp.substr(0, lp.size() - 1), 0) == 0) {
                return true;
            }
        } else if (cmd == lp) {
            return true;
        }
    }
    return false;
}

void Modem::setCts(bool on) {
    if (cts_ != on) {
        cts_ = on;
        post(Action::setCts(on));
    }
}

void Modem::updateDcd(bool before) {
    if (before != dcd()) {
        post(Action::setDcd(dcd()));
    }
}

void Modem::setConnection(Connection c) {
    const bool before = dcd();
    connection_ = c;
    if (c != Connection::None) {
        mode_ = Mode::Online;
        escapePluses_ = 0;
        escape_.active = false;
    } else if (mode_ == Mode::Online) {
        mode_ = Mode::Command;
        info("NO CARRIER");
    }
    updateDcd(before);
}

void Modem::setLineNow(const LineSetting& line) {
    active_.line = line;
    post(Action::setLine(line));
}

void Modem::receive(std::string_view bytes, Millis now) {
    for (char c : bytes) {
        receiveByte(static_cast<unsigned char>(c), now);
    }
}

void Modem::receiveByte(unsigned char c, Millis now) {
    if (now < busyUntil_) {
        return; // restarting: nobody is listening
    }
    switch (mode_) {
    case Mode::Xmodem: {
        std::string reply = xmodem_.receive(c, now);
        say(std::move(reply));
        if (xmodem_.finished()) {
            finishTransfer(now);
        }
        break;
    }
    case Mode::Online:
        onlineByte(c, now);
        break;
    case Mode::Command:
    case Mode::Config:
        lineByte(c, now);
        break;
    }
    lastInput_ = now;
}

void Modem::onlineByte(unsigned char c, Millis now) {
    if (onlineData_.size() < kMaxOnlineData) {
        onlineData_.push_back(static_cast<char>(c));
    }
    if (escape_.active) {
        // Data after the third '+' inside the guard time: no escape after all.
        escape_.active = false;
        escapePluses_ = 0;
    }
    if (c != '+') {
        escapePluses_ = 0;
        return;
    }
    const Millis quiet = now - lastInput_;
    if (escapePluses_ == 0) {
        escapePluses_ = quiet >= scenario_.guardMs ? 1 : 0;
    } else if (quiet < scenario_.guardMs) {
        ++escapePluses_;
    } else {
        escapePluses_ = 1;
    }
    if (escapePluses_ == 3) {
        escapePluses_ = 0;
        escape_ = {true, now + scenario_.guardMs};
        if (scenario_.dcdOnEscape && connection_ == Connection::None) {
            connection_ = Connection::SmsTunnel;
            post(Action::setDcd(true));
        }
    }
}

void Modem::lineByte(unsigned char c, Millis now) {
    if (exec_.active) {
        if (c == '\n') {
            if (active_.echo) {
                say(std::string(1, '\n'));
            }
            return;
        }
        finishLine(now);
        if (mode_ != Mode::Command && mode_ != Mode::Config) {
            receiveByte(c, now); // the line changed the mode: the byte belongs to the new one
            return;
        }
    }
    if (active_.echo) {
        say(std::string(1, static_cast<char>(c)));
    }
    if (c == '+') {
        if (++plusRun_ == 3 && scenario_.dcdOnEscape && connection_ == Connection::None) {
            connection_ = Connection::SmsTunnel;
            post(Action::setDcd(true));
        }
    } else {
        plusRun_ = 0;
    }
    if (c == '\r') {
        // A command takes effect once its CR has been taken in; an LF right behind it is part of it.
        const int charMs =
            static_cast<int>(active_.line.bitsPerChar() * 1000 / std::max<uint32_t>(active_.line.baud, 1));
        exec_ = {true, now + 1 + charMs};
    } else if (c == 0x08 || c == 0x7f) {
        if (!lineBuf_.empty()) {
            lineBuf_.pop_back();
        }
    } else if (c >= 0x20 && c < 0x7f) {
        if (lineBuf_.size() < kMaxLine) {
            lineBuf_.push_back(static_cast<char>(c));
        } else {
            overflow_ = true;
        }
    }
}

void Modem::finishLine(Millis now) {
    exec_.active = false;
    std::string line;
    line.swap(lineBuf_);
    const bool overflow = overflow_;
    overflow_ = false;
    if (mode_ == Mode::Config) {
        answer(line, now);
    } else if (overflow) {
        capLog(commands_);
        commands_.push_back({now, lower(line.substr(0, 64)) + "...", active_.line.baud});
        error();
    } else {
        execute(line, now);
    }
}

void Modem::tick(Millis now) {
    if (exec_.active && now >= exec_.due) {
        finishLine(now);
    }
    if (escape_.active && now >= escape_.due) {
        escape_.active = false;
        mode_ = Mode::Command;
        lineBuf_.clear();
        ok();
    }
    if (mode_ == Mode::Config && now - dialogueSince_ >= scenario_.configTimeoutMs) {
        mode_ = Mode::Command; // the other side has gone away
    }
    if (mode_ == Mode::Xmodem) {
        say(xmodem_.tick(now));
        if (xmodem_.finished()) {
            finishTransfer(now);
        }
    }
}

std::optional<Millis> Modem::nextDeadline() const {
    std::optional<Millis> d;
    auto consider = [&d](Millis t) { d = d ? std::min(*d, t) : t; };
    if (exec_.active) {
        consider(exec_.due);
    }
    if (escape_.active) {
        consider(escape_.due);
    }
    if (mode_ == Mode::Config) {
        consider(dialogueSince_ + scenario_.configTimeoutMs);
    }
    if (mode_ == Mode::Xmodem) {
        if (auto x = xmodem_.deadline()) {
            consider(*x);
        }
    }
    return d;
}

void Modem::execute(const std::string& line, Millis now) {
    const std::string low = lower(line);
    const auto pos = low.find("at");
    if (pos == std::string::npos) {
        return; // not a command: a modem ignores lines without the attention prefix
    }
    std::string cmd = low.substr(pos);
    while (!cmd.empty() && cmd.back() == ' ') {
        cmd.pop_back();
    }
    capLog(commands_);
    commands_.push_back({now, cmd, active_.line.baud});
    if (!scenario_.dcdOnCommand.empty() && connection_ == Connection::None &&
        matches({scenario_.dcdOnCommand}, cmd)) {
        connection_ = Connection::SmsTunnel;
        post(Action::setDcd(true));
    }
    if (matches(scenario_.noReplyTo, cmd)) {
        return;
    }
    inReply_ = true;
    bool overridden = false;
    for (const auto& [pattern, text] : scenario_.replyOverride) {
        if (matches({pattern}, cmd)) {
            say(text);
            overridden = true;
            break;
        }
    }
    if (!overridden) {
        dispatch(cmd, now);
    }
    inReply_ = false;
    flushReply(cmd);
}

void Modem::restart(Millis now, int busyMs) {
    active_ = stored_;
    mode_ = Mode::Command;
    lineBuf_.clear();
    escape_.active = false;
    escapePluses_ = 0;
    plusRun_ = 0;
    busyUntil_ = now + busyMs;
    if (scenario_.sim == SimState::PinRequired && sim_ == SimState::Ready) {
        // The card locks again at power-up unless the modem is told to enter the PIN itself.
        const bool autoPin = stored_.isYes(kUsePin) && stored_.values[kPinCode] == scenario_.pin;
        sim_ = autoPin ? SimState::Ready : SimState::PinRequired;
    }
    cregIndex_ = 0;
    const bool before = dcd();
    connection_ = stored_.isYes(kSmsTunneling) ? Connection::SmsTunnel : Connection::None;
    if (connection_ != Connection::None) {
        mode_ = Mode::Online;
    }
    post(Action::setLine(active_.line));
    updateDcd(before);
}

} // namespace q86sim
