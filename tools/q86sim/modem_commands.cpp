#include "modem.h"

#include "modem_parse.h"

#include <algorithm>
#include <cstdio>
#include <span>

namespace q86sim {

using detail::parseList;
using detail::parseNumber;

// One AT command: its name after "at", matched whole or as the start of the command. A handler gets
// what follows the name; an entry without one answers its fixed line (if any) and OK.
struct Modem::Command {
    std::string_view name;
    bool prefix = false;
    void (Modem::*run)(std::string_view arg, Millis now) = nullptr;
    std::string_view reply = {};
};

// Looked up in order; the first entry that matches runs.
std::span<const Modem::Command> Modem::commandTable() {
    static const Command table[] = {
        {"", false},
        {"e", false, &Modem::echoOff},
        {"e0", false, &Modem::echoOff},
        {"e1", false, &Modem::echoOn},
        {"h", false, &Modem::hangUp},
        {"h0", false, &Modem::hangUp},
        {"o", false, &Modem::backOnline},
        {"o0", false, &Modem::backOnline},
        {"&w", false, &Modem::storeProfile},
        {"&f", false, &Modem::factoryDefaults},
        {"z", false, &Modem::restoreProfile},
        {"&v", false, &Modem::showProfile},
        {"*report", false, &Modem::showReport},
        {"*config", false, &Modem::startDialogue},
        {"*default", false, &Modem::defaultCommand},
        {"*apver", false, &Modem::showApver},
        {"*stopsms", false, &Modem::stopSmsTunnel},
        {"*smstun?", false, &Modem::smsTunnelQuery},
        {"*smstun=0", false, &Modem::smsTunnelOff},
        {"*smstun=1", false, &Modem::smsTunnelOn},
        {"*upg", false, &Modem::downloadNewFirmware},
        {"+wdwl", false, &Modem::downloadOldFirmware},
        {"+wopen=0", false},
        {"+wopen=1", false},
        {"+wopen?", false, nullptr, "+WOPEN: 1"},
        {"+wind=", true},
        {"+wind?", false, nullptr, "+WIND: 0"},
        {"+ipr?", false, &Modem::iprQuery},
        {"+ipr=", true, &Modem::iprSet},
        {"+icf?", false, &Modem::icfQuery},
        {"+icf=", true, &Modem::icfSet},
        {"+ifc?", false, &Modem::ifcQuery},
        {"+ifc=", true, &Modem::ifcSet},
        {"s0?", false, &Modem::s0Query},
        {"s0=", true, &Modem::s0Set},
        {"&d", true, &Modem::dtrDropSet},
        {"+cbst?", false, &Modem::cbstQuery},
        {"+cbst=", true, &Modem::cbstSet},
        {"+cicb=", true, &Modem::numberOk},
        {"+cfun?", false, nullptr, "+CFUN: 1"},
        {"+cfun=1", false, &Modem::restartCommand},
        {"+cfun=0", false},
        {"+cpin?", false, &Modem::pinQuery},
        {"+cpin=", true, &Modem::pinEnter},
        {"+csq", false, &Modem::signalQuery},
        {"+creg?", false, &Modem::registrationQuery},
        {"+creg=", true, &Modem::registrationSet},
        {"+cops?", false, &Modem::operatorQuery},
        {"+wopn=0,", true, &Modem::operatorName},
    };
    return table;
}

void Modem::dispatch(const std::string& cmd, Millis now) {
    const std::string_view body = std::string_view(cmd).substr(2);
    for (const Command& c : commandTable()) {
        if (c.prefix ? body.starts_with(c.name) : body == c.name) {
            if (c.run) {
                (this->*c.run)(body.substr(c.name.size()), now);
            } else {
                if (!c.reply.empty()) {
                    info(std::string(c.reply));
                }
                ok();
            }
            return;
        }
    }
    error();
}

void Modem::echoOff(std::string_view, Millis) {
    active_.echo = false;
    ok();
}

void Modem::echoOn(std::string_view, Millis) {
    active_.echo = true;
    ok();
}

void Modem::hangUp(std::string_view, Millis) {
    ok();
    dropConnection(Connection::DataCall);
}

void Modem::backOnline(std::string_view, Millis) {
    if (connection_ == Connection::None) {
        info("NO CARRIER");
    } else {
        info("CONNECT 9600");
        mode_ = Mode::Online;
        escapePluses_ = 0;
    }
}

void Modem::storeProfile(std::string_view, Millis) {
    stored_ = active_;
    ok();
}

void Modem::factoryDefaults(std::string_view, Millis) {
    const Settings f = Settings::factory();
    active_.echo = f.echo;
    active_.s0 = f.s0;
    active_.dtrDrop = f.dtrDrop;
    active_.cbst = f.cbst;
    active_.ifcDce = f.ifcDce;
    active_.ifcDte = f.ifcDte;
    ok();
}

void Modem::restoreProfile(std::string_view, Millis) {
    ok();
    const LineSetting before = active_.line;
    active_ = stored_;
    if (!(before == active_.line)) {
        post(Action::setLine(active_.line));
    }
}

void Modem::showProfile(std::string_view, Millis) {
    say(profileText());
}

void Modem::showReport(std::string_view, Millis) {
    say(scenario_.reportRefusal.empty() ? reportText() : scenario_.reportRefusal);
}

void Modem::startDialogue(std::string_view, Millis now) {
    mode_ = Mode::Config;
    key_ = 0;
    dialogueSince_ = now;
    prompt(0);
}

void Modem::defaultCommand(std::string_view, Millis now) {
    ok();
    const bool upgrade = oldImagePending_;
    oldImagePending_ = false;
    if (upgrade) {
        installOldFirmware(now);
        return;
    }
    factoryReset(now);
}

void Modem::showApver(std::string_view, Millis) {
    info(apverText());
    ok();
}

void Modem::stopSmsTunnel(std::string_view, Millis) {
    ok();
    dropConnection(Connection::SmsTunnel);
}

void Modem::smsTunnelQuery(std::string_view, Millis) {
    info(std::string("*SMSTUN: ") + (connection_ == Connection::SmsTunnel ? "1" : "0"));
    ok();
}

void Modem::smsTunnelOff(std::string_view arg, Millis now) {
    stopSmsTunnel(arg, now);
}

void Modem::smsTunnelOn(std::string_view, Millis) {
    ok();
    const bool before = dcd();
    connection_ = Connection::SmsTunnel;
    mode_ = Mode::Online;
    escapePluses_ = 0;
    updateDcd(before);
}

void Modem::downloadNewFirmware(std::string_view, Millis now) {
    startDownload(Transfer::NewFirmware, now);
}

void Modem::downloadOldFirmware(std::string_view, Millis now) {
    startDownload(Transfer::OldFirmware, now);
}

void Modem::startDownload(Transfer transfer, Millis now) {
    transfer_ = transfer;
    XmodemReceiver::Knobs k;
    k.nakBlockOnce = scenario_.xmodemNakBlockOnce;
    k.cancelAtBlock = scenario_.xmodemCancelAtBlock;
    k.neverStart = scenario_.xmodemNeverStart;
    k.firstNakMs = scenario_.xmodemFirstNakMs;
    k.nakIntervalMs = scenario_.xmodemNakIntervalMs;
    xmodem_.start(now, k);
    mode_ = Mode::Xmodem;
}

void Modem::iprQuery(std::string_view, Millis) {
    info("+IPR: " + std::to_string(active_.line.baud));
    ok();
}

void Modem::iprSet(std::string_view arg, Millis) {
    long n = 0;
    if (parseNumber(arg, n) && isSupportedRate(static_cast<uint32_t>(n))) {
        ok(); // answered at the old rate; the new one holds from the next character on
        LineSetting l = active_.line;
        l.baud = static_cast<uint32_t>(n);
        setLineNow(l);
    } else {
        error();
    }
}

void Modem::icfQuery(std::string_view, Millis) {
    const IcfValue v = icfFromLine(active_.line);
    info("+ICF: " + std::to_string(v.format) + "," + std::to_string(v.parity));
    ok();
}

void Modem::icfSet(std::string_view arg, Millis) {
    std::vector<long> list;
    std::optional<LineSetting> l;
    if (parseList(arg, list) && list.size() <= 2) {
        l = lineFromIcf(active_.line, static_cast<int>(list[0]),
                        list.size() > 1 ? static_cast<int>(list[1]) : 4);
    }
    if (l) {
        ok();
        setLineNow(*l);
    } else {
        error();
    }
}

void Modem::ifcQuery(std::string_view, Millis) {
    info("+IFC: " + std::to_string(active_.ifcDce) + "," + std::to_string(active_.ifcDte));
    ok();
}

void Modem::ifcSet(std::string_view arg, Millis) {
    std::vector<long> list;
    if (parseList(arg, list) && list.size() == 2 && (list[0] == 0 || list[0] == 2) &&
        (list[1] == 0 || list[1] == 2)) {
        active_.ifcDce = static_cast<int>(list[0]);
        active_.ifcDte = static_cast<int>(list[1]);
        ok();
    } else {
        error();
    }
}

void Modem::s0Query(std::string_view, Millis) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03d", active_.s0);
    info(buf);
    ok();
}

void Modem::s0Set(std::string_view arg, Millis) {
    long n = 0;
    if (parseNumber(arg, n) && n <= 255) {
        active_.s0 = static_cast<int>(n);
        ok();
    } else {
        error();
    }
}

void Modem::dtrDropSet(std::string_view arg, Millis) {
    long n = 0;
    if (arg.empty()) {
        active_.dtrDrop = 0;
        ok();
    } else if (parseNumber(arg, n) && n <= 2) {
        active_.dtrDrop = static_cast<int>(n);
        ok();
    } else {
        error();
    }
}

void Modem::cbstQuery(std::string_view, Millis) {
    info("+CBST: " + active_.cbst);
    ok();
}

void Modem::cbstSet(std::string_view arg, Millis) {
    std::vector<long> list;
    if (parseList(arg, list) && list.size() <= 3) {
        while (list.size() < 3) {
            list.push_back(list.size() == 1 ? 0 : 1);
        }
        active_.cbst =
            std::to_string(list[0]) + "," + std::to_string(list[1]) + "," + std::to_string(list[2]);
        ok();
    } else {
        error();
    }
}

void Modem::numberOk(std::string_view arg, Millis) {
    long n = 0;
    parseNumber(arg, n) ? ok() : error();
}

void Modem::restartCommand(std::string_view, Millis now) {
    ok();
    restart(now, scenario_.restartMs);
}

void Modem::pinQuery(std::string_view, Millis) {
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
}

void Modem::pinEnter(std::string_view arg, Millis) {
    std::string a(arg);
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
}

void Modem::signalQuery(std::string_view, Millis) {
    const auto& s = scenario_.csq;
    info("+CSQ: " + (s.empty() ? std::string("99,99") : s[std::min(csqIndex_, s.size() - 1)]));
    ++csqIndex_;
    ok();
}

void Modem::registrationQuery(std::string_view, Millis) {
    std::string stat = "0";
    if (sim_ == SimState::Ready && !scenario_.creg.empty()) {
        stat = scenario_.creg[std::min(cregIndex_, scenario_.creg.size() - 1)];
        ++cregIndex_;
    }
    info("+CREG: 0," + stat);
    ok();
}

void Modem::registrationSet(std::string_view arg, Millis) {
    long n = 0;
    parseNumber(arg, n) && n <= 2 ? ok() : error();
}

void Modem::operatorQuery(std::string_view, Millis) {
    const auto& s = scenario_.creg;
    const std::string stat =
        s.empty() ? "0" : s[std::min(cregIndex_ == 0 ? 0 : cregIndex_ - 1, s.size() - 1)];
    if (sim_ == SimState::Ready && (stat == "1" || stat == "5")) {
        info("+COPS: 0,2,\"" + scenario_.operatorCode + "\"");
    } else {
        info("+COPS: 0");
    }
    ok();
}

void Modem::operatorName(std::string_view arg, Millis) {
    const auto it = scenario_.operatorNames.find(std::string(arg));
    if (it == scenario_.operatorNames.end()) {
        error();
    } else {
        info("+WOPN: 0,\"" + it->second + "\"");
        ok();
    }
}

void Modem::dropConnection(Connection which) {
    if (connection_ != which) {
        return;
    }
    const bool before = dcd();
    connection_ = Connection::None;
    updateDcd(before);
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
