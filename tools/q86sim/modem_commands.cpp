#include "modem.h"

#include "modem_parse.h"

#include <algorithm>
#include <cstdio>

namespace q86sim {

using detail::parseList;
using detail::parseNumber;

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
            post(Action::setLine(active_.line));
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
            installOldFirmware(now);
            return;
        }
        factoryReset(now);
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

void Modem::factoryReset(Millis now) {
    active_ = stored_ = Settings::factory();
    const bool before = dcd();
    connection_ = Connection::None;
    mode_ = Mode::Command;
    post(Action::setLine(active_.line));
    updateDcd(before);
    busyUntil_ = now + 2 * static_cast<Millis>(scenario_.factoryResetMs);
    post(Action::pause(scenario_.factoryResetMs));
    info("Setup OK");
    post(Action::pause(scenario_.factoryResetMs));
    info("+WIND: 13");
}

} // namespace q86sim
