#include "modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace q86sim {

namespace {

constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kMaxOnlineData = 64 * 1024;
constexpr std::size_t kMaxLog = 10000;
constexpr Millis kLongAgo = -1'000'000'000;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool parseNumber(std::string_view s, long& value) {
    if (s.empty() || s.size() > 9) {
        return false;
    }
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

// "a,b,c" into numbers; every field must be a number.
bool parseList(std::string_view s, std::vector<long>& out) {
    out.clear();
    while (true) {
        const auto comma = s.find(',');
        long v = 0;
        if (!parseNumber(s.substr(0, comma), v)) {
            return false;
        }
        out.push_back(v);
        if (comma == std::string_view::npos) {
            return true;
        }
        s.remove_prefix(comma + 1);
    }
}

uint32_t le32(const std::string& d, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(d[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

template <class T>
void capLog(std::vector<T>& log) {
    if (log.size() >= kMaxLog) {
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(kMaxLog / 2));
    }
}

} // namespace

Modem::Modem(Scenario scenario, Millis now) : scenario_(std::move(scenario)) {
    active_ = scenario_.initialSettings.value_or(Settings::factory());
    stored_ = active_;
    version_ = scenario_.firmwareVersion;
    connection_ = scenario_.connection;
    mode_ = connection_ == Connection::None ? Mode::Command : Mode::Online;
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

void Modem::emit(Action a) {
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
    emit(Action::send(std::move(text)));
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
        emit(Action::setCts(on));
    }
}

void Modem::updateDcd(bool before) {
    if (before != dcd()) {
        emit(Action::setDcd(dcd()));
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
    emit(Action::setLine(line));
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
            emit(Action::setDcd(true));
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
            emit(Action::setDcd(true));
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

void Modem::dispatch(const std::string& cmd, Millis now) {
    const std::string body = cmd.substr(2);
    auto starts = [&body](std::string_view p) { return body.rfind(p, 0) == 0; };
    auto arg = [&body](std::size_t n) { return std::string_view(body).substr(n); };
    long n = 0;
    std::vector<long> list;

    if (body.empty()) {
        ok();
    } else if (body == "e" || body == "e0" || body == "e1") {
        active_.echo = body == "e1";
        ok();
    } else if (body == "h" || body == "h0") {
        ok();
        if (connection_ == Connection::DataCall) {
            const bool before = dcd();
            connection_ = Connection::None;
            updateDcd(before);
        }
    } else if (body == "o" || body == "o0") {
        if (connection_ == Connection::None) {
            info("NO CARRIER");
        } else {
            info("CONNECT 9600");
            mode_ = Mode::Online;
            escapePluses_ = 0;
        }
    } else if (body == "&w") {
        stored_ = active_;
        ok();
    } else if (body == "&f") {
        const Settings f = Settings::factory();
        active_.echo = f.echo;
        active_.s0 = f.s0;
        active_.dtrDrop = f.dtrDrop;
        active_.cbst = f.cbst;
        active_.ifcDce = f.ifcDce;
        active_.ifcDte = f.ifcDte;
        ok();
    } else if (body == "z") {
        ok();
        const LineSetting before = active_.line;
        active_ = stored_;
        if (!(before == active_.line)) {
            emit(Action::setLine(active_.line));
        }
    } else if (body == "&v") {
        say(profileText());
    } else if (body == "*report") {
        say(scenario_.reportRefusal.empty() ? reportText() : scenario_.reportRefusal);
    } else if (body == "*config") {
        mode_ = Mode::Config;
        key_ = 0;
        dialogueSince_ = now;
        prompt(0);
    } else if (body == "*default") {
        ok();
        const bool upgrade = oldImagePending_;
        oldImagePending_ = false;
        if (upgrade) {
            const bool good = scenario_.verdict == UpgradeVerdict::FromImage
                                  ? !xmodem_.data().empty()
                                  : scenario_.verdict == UpgradeVerdict::Success;
            if (scenario_.verdict == UpgradeVerdict::Silent) {
                return;
            }
            emit(Action::pause(scenario_.upgradeStepMs));
            info("Upgrading firmware");
            emit(Action::pause(scenario_.upgradeStepMs));
            if (!good) {
                info("Download Failed");
                return;
            }
            info("Restoring settings");
            installPendingUpgrade();
        }
        active_ = stored_ = Settings::factory();
        const bool before = dcd();
        connection_ = Connection::None;
        mode_ = Mode::Command;
        emit(Action::setLine(active_.line));
        updateDcd(before);
        busyUntil_ = now + 2 * static_cast<Millis>(scenario_.factoryResetMs);
        emit(Action::pause(scenario_.factoryResetMs));
        info("Setup OK");
        emit(Action::pause(scenario_.factoryResetMs));
        info("+WIND: 13");
    } else if (body == "*apver") {
        info(apverText());
        ok();
    } else if (body == "*stopsms") {
        ok();
        if (connection_ == Connection::SmsTunnel) {
            const bool before = dcd();
            connection_ = Connection::None;
            updateDcd(before);
        }
    } else if (body == "*smstun?") {
        info(std::string("*SMSTUN: ") + (connection_ == Connection::SmsTunnel ? "1" : "0"));
        ok();
    } else if (body == "*smstun=0" || body == "*smstun=1") {
        ok();
        if (body.back() == '1') {
            const bool before = dcd();
            connection_ = Connection::SmsTunnel;
            mode_ = Mode::Online;
            escapePluses_ = 0;
            updateDcd(before);
        } else if (connection_ == Connection::SmsTunnel) {
            const bool before = dcd();
            connection_ = Connection::None;
            updateDcd(before);
        }
    } else if (body == "*upg" || body == "+wdwl") {
        transfer_ = body == "*upg" ? Transfer::NewFirmware : Transfer::OldFirmware;
        XmodemReceiver::Knobs k;
        k.nakBlockOnce = scenario_.xmodemNakBlockOnce;
        k.cancelAtBlock = scenario_.xmodemCancelAtBlock;
        k.neverStart = scenario_.xmodemNeverStart;
        k.firstNakMs = scenario_.xmodemFirstNakMs;
        k.nakIntervalMs = scenario_.xmodemNakIntervalMs;
        xmodem_.start(now, k);
        mode_ = Mode::Xmodem;
    } else if (body == "+wopen=0" || body == "+wopen=1") {
        ok();
    } else if (body == "+wopen?") {
        info("+WOPEN: 1");
        ok();
    } else if (starts("+wind=")) {
        ok();
    } else if (body == "+wind?") {
        info("+WIND: 0");
        ok();
    } else if (body == "+ipr?") {
        info("+IPR: " + std::to_string(active_.line.baud));
        ok();
    } else if (starts("+ipr=")) {
        if (parseNumber(arg(5), n) && isSupportedRate(static_cast<uint32_t>(n))) {
            ok(); // answered at the old rate; the new one holds from the next character on
            LineSetting l = active_.line;
            l.baud = static_cast<uint32_t>(n);
            setLineNow(l);
        } else {
            error();
        }
    } else if (body == "+icf?") {
        const IcfValue v = icfFromLine(active_.line);
        info("+ICF: " + std::to_string(v.format) + "," + std::to_string(v.parity));
        ok();
    } else if (starts("+icf=")) {
        std::optional<LineSetting> l;
        if (parseList(arg(5), list) && list.size() <= 2) {
            l = lineFromIcf(active_.line, static_cast<int>(list[0]),
                            list.size() > 1 ? static_cast<int>(list[1]) : 4);
        }
        if (l) {
            ok();
            setLineNow(*l);
        } else {
            error();
        }
    } else if (body == "+ifc?") {
        info("+IFC: " + std::to_string(active_.ifcDce) + "," + std::to_string(active_.ifcDte));
        ok();
    } else if (starts("+ifc=")) {
        if (parseList(arg(5), list) && list.size() == 2 && (list[0] == 0 || list[0] == 2) &&
            (list[1] == 0 || list[1] == 2)) {
            active_.ifcDce = static_cast<int>(list[0]);
            active_.ifcDte = static_cast<int>(list[1]);
            ok();
        } else {
            error();
        }
    } else if (body == "s0?") {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%03d", active_.s0);
        info(buf);
        ok();
    } else if (starts("s0=")) {
        if (parseNumber(arg(3), n) && n <= 255) {
            active_.s0 = static_cast<int>(n);
            ok();
        } else {
            error();
        }
    } else if (starts("&d")) {
        if (body.size() == 2) {
            active_.dtrDrop = 0;
            ok();
        } else if (parseNumber(arg(2), n) && n <= 2) {
            active_.dtrDrop = static_cast<int>(n);
            ok();
        } else {
            error();
        }
    } else if (body == "+cbst?") {
        info("+CBST: " + active_.cbst);
        ok();
    } else if (starts("+cbst=")) {
        if (parseList(arg(6), list) && list.size() <= 3) {
            while (list.size() < 3) {
                list.push_back(list.size() == 1 ? 0 : 1);
            }
            active_.cbst =
                std::to_string(list[0]) + "," + std::to_string(list[1]) + "," + std::to_string(list[2]);
            ok();
        } else {
            error();
        }
    } else if (starts("+cicb=")) {
        parseNumber(arg(6), n) ? ok() : error();
    } else if (body == "+cfun?") {
        info("+CFUN: 1");
        ok();
    } else if (body == "+cfun=1") {
        ok();
        restart(now, scenario_.restartMs);
    } else if (body == "+cfun=0") {
        ok();
    } else if (body == "+cpin?") {
        switch (sim_) {
        case SimState::Ready:
            info("+CPIN: READY");
            ok();
            break;
        case SimState::PinRequired:
            info("+CPIN: SIM PIN");
            ok();
            break;
        case SimState::PukRequired:
            info("+CPIN: SIM PUK");
            ok();
            break;
        case SimState::Absent:
            info("+CME ERROR: 10");
            break;
        }
    } else if (starts("+cpin=")) {
        std::string a(arg(6));
        a.erase(std::remove(a.begin(), a.end(), '"'), a.end());
        const auto comma = a.find(',');
        if (sim_ == SimState::Absent) {
            info("+CME ERROR: 10");
        } else if (sim_ == SimState::Ready) {
            info("+CME ERROR: 3");
        } else if (sim_ == SimState::PinRequired && comma == std::string::npos) {
            if (a == scenario_.pin) {
                sim_ = SimState::Ready;
                pinTries_ = scenario_.pinAttempts;
                ok();
            } else {
                if (--pinTries_ <= 0) {
                    sim_ = SimState::PukRequired;
                }
                info("+CME ERROR: 16");
            }
        } else if (sim_ == SimState::PukRequired && comma != std::string::npos &&
                   a.substr(0, comma) == scenario_.puk && a.size() - comma - 1 == 4) {
            scenario_.pin = a.substr(comma + 1);
            sim_ = SimState::Ready;
            pinTries_ = scenario_.pinAttempts;
            ok();
        } else {
            info("+CME ERROR: 16");
        }
    } else if (body == "+csq") {
        const auto& s = scenario_.csq;
        info("+CSQ: " + (s.empty() ? std::string("99,99") : s[std::min(csqIndex_, s.size() - 1)]));
        ++csqIndex_;
        ok();
    } else if (body == "+creg?") {
        std::string stat = "0";
        if (sim_ == SimState::Ready && !scenario_.creg.empty()) {
            stat = scenario_.creg[std::min(cregIndex_, scenario_.creg.size() - 1)];
            ++cregIndex_;
        }
        info("+CREG: 0," + stat);
        ok();
    } else if (starts("+creg=")) {
        parseNumber(arg(6), n) && n <= 2 ? ok() : error();
    } else if (body == "+cops?") {
        const auto& s = scenario_.creg;
        const std::string stat =
            s.empty() ? "0" : s[std::min(cregIndex_ == 0 ? 0 : cregIndex_ - 1, s.size() - 1)];
        if (sim_ == SimState::Ready && (stat == "1" || stat == "5")) {
            info("+COPS: 0,2,\"" + scenario_.operatorCode + "\"");
        } else {
            info("+COPS: 0");
        }
        ok();
    } else if (starts("+wopn=0,")) {
        const auto it = scenario_.operatorNames.find(std::string(arg(8)));
        if (it == scenario_.operatorNames.end()) {
            error();
        } else {
            info("+WOPN: 0,\"" + it->second + "\"");
            ok();
        }
    } else {
        error();
    }
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
    emit(Action::setLine(active_.line));
    updateDcd(before);
}

void Modem::prompt(int key) {
    if (key == scenario_.configStopAtKey) {
        return;
    }
    emit(Action::pause(scenario_.promptDelayMs));
    const std::string text = key == scenario_.configWrongPromptAtKey
                                 ? std::string("Reserved Option")
                                 : std::string(kConfigKeys[static_cast<std::size_t>(key)].text);
    say("\r\n" + text + ": ");
}

void Modem::answer(const std::string& line, Millis now) {
    const auto k = static_cast<std::size_t>(key_);
    const ConfigKey& key = kConfigKeys[k];
    const std::string value = line.substr(0, key.maxLength);
    capLog(answers_);
    answers_.push_back({now, key_, value});
    active_.values[k] = value;
    stored_.values[k] = value;
    dialogueSince_ = now;
    const bool no = value.empty() || value.rfind("No", 0) == 0;
    const int next = key_ + (no ? key.skip : 1);
    if (next > kLastPromptedKey) {
        endDialogue();
        mode_ = Mode::Command;
        emit(Action::pause(scenario_.promptDelayMs));
        ok();
        return;
    }
    key_ = next;
    prompt(next);
}

void Modem::endDialogue() {
    if (!stored_.isYes(kConfigSerial)) {
        return;
    }
    // The serial answers are stored and take effect at the next restart.
    auto code = [this](int key) -> long {
        long v = -1;
        return parseNumber(stored_.values[static_cast<std::size_t>(key)], v) ? v : -1;
    };
    LineSetting& l = stored_.line;
    if (const uint32_t rate = rateForBaudCode(static_cast<int>(code(kBaudrate)))) {
        l.baud = rate;
    }
    if (code(kDataLength) == 0 || code(kDataLength) == 1) {
        l.dataBits = code(kDataLength) == 0 ? 7 : 8;
    }
    if (code(kStopBits) == 0 || code(kStopBits) == 1) {
        l.stopBits = code(kStopBits) == 1 ? 2 : 1;
    }
    if (auto p = parityFromCode(static_cast<int>(code(kParity)))) {
        l.parity = *p;
    }
    if (l.stopBits == 2) {
        l.parity = ParityNone; // two stop bits always go without parity
    }
    if (code(kFlowControl) == 0 || code(kFlowControl) == 1) {
        stored_.ifcDce = stored_.ifcDte = code(kFlowControl) == 1 ? 2 : 0;
    }
    const std::string& echo = stored_.values[kEchoInput];
    if (echo.rfind("Yes", 0) == 0 || echo.rfind("No", 0) == 0) {
        stored_.echo = echo[0] == 'Y';
    }
}

void Modem::installPendingUpgrade() {
    version_ = scenario_.upgradedVersion;
    ++upgrades_;
}

void Modem::finishTransfer(Millis now) {
    mode_ = Mode::Command;
    lineBuf_.clear();
    if (xmodem_.state() == XmodemReceiver::State::Failed) {
        busyUntil_ = now + 1000; // let the rest of an abandoned transfer pass
        emit(Action::pause(1000));
        error();
        return;
    }
    if (transfer_ == Transfer::OldFirmware) {
        oldImagePending_ = true; // installed by the next "at*default"
        return;
    }
    UpgradeVerdict v = scenario_.verdict;
    if (v == UpgradeVerdict::FromImage) {
        const std::string& d = xmodem_.data();
        v = UpgradeVerdict::Failed;
        if (d.size() >= 128 && d[0] == 4 && d[1] == 4) {
            const int model = static_cast<unsigned char>(d[2]) * 256 + static_cast<unsigned char>(d[3]);
            const int mine = scenario_.model == Model::Q8690I ? 0x0001 : 0x0101;
            const uint64_t length = le32(d, 8);
            if (model != mine) {
                v = UpgradeVerdict::MisMatch;
            } else if (128 + length <= d.size()) {
                uint32_t sum = 0;
                uint32_t complement = 0;
                for (std::size_t i = 128; i < 128 + length; ++i) {
                    const auto b = static_cast<unsigned char>(d[i]);
                    sum += b;
                    complement += 255u - b;
                }
                if (sum == le32(d, 12) && complement == le32(d, 16)) {
                    v = UpgradeVerdict::Success;
                }
            }
        }
    }
    const int step = scenario_.upgradeStepMs;
    switch (v) {
    case UpgradeVerdict::Success:
        emit(Action::pause(step));
        info("Upgrading firmware");
        emit(Action::pause(step));
        info("Restoring settings");
        emit(Action::pause(step));
        info("Setup OK");
        installPendingUpgrade();
        break;
    case UpgradeVerdict::Failed:
        emit(Action::pause(step));
        info("Upgrading firmware");
        emit(Action::pause(step));
        info("Upgrade Failed");
        break;
    case UpgradeVerdict::MisMatch:
        emit(Action::pause(step));
        info("Firmware model mis-match");
        break;
    default:
        break;
    }
}

std::string Modem::apverText() const {
    return std::string("BREL ") + (scenario_.model == Model::Q8690I ? "Q8690I" : "Q8630") + " v" + version_ +
           " build " + scenario_.build;
}

std::string Modem::reportText() const {
    std::string t = "\r\n";
    for (std::size_t k = 0; k < kConfigKeyCount; ++k) {
        t += std::string(kConfigKeys[k].text) + "=" + active_.reportValue(static_cast<int>(k)) + "\r\n";
    }
    return t + "\r\nOK\r\n";
}

std::string Modem::profileText() const {
    char s0[8];
    std::snprintf(s0, sizeof s0, "%03d", active_.s0);
    const IcfValue icf = icfFromLine(active_.line);
    std::string t = "\r\nACTIVE PROFILE:\r\n";
    t += std::string("E") + (active_.echo ? "1" : "0") + " Q0 V1 X4 &C1\r\n";
    t += std::string("S0:") + s0 + " S7:060 S8:002\r\n";
    t += "+CBST: " + active_.cbst + "\r\n";
    t += "&D: " + std::to_string(active_.dtrDrop) + "\r\n";
    t += "+ICF: " + std::to_string(icf.format) + "," + std::to_string(icf.parity) + "\r\n";
    t += "+IFC: " + std::to_string(active_.ifcDce) + "," + std::to_string(active_.ifcDte) + "\r\n";
    t += "+IPR: " + std::to_string(active_.line.baud) + "\r\n";
    t += "%C0 &S1\r\n";
    return t + "\r\nOK\r\n";
}

} // namespace q86sim
