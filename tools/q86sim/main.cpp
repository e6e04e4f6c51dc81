// q86sim: a simulated modem on a pseudo-terminal, published as COMn in the port map, served until
// SIGINT or SIGTERM.

#include "build_config.h"
#include "port_map.h"
#include "simulated_modem.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* kUsage = R"(Usage: q86sim [options]
A simulated Q86 modem on a pseudo-terminal. Writes COMn=<device> into the port map named by
$BREL_PORT_MAP (or the default map), prints the device path, and runs until SIGINT or SIGTERM.
A pty carries no modem lines: the modem's CTS, DSR and DCD and the program's DTR and RTS go through
a small file in a temporary folder, named in the map entry (";lines=<file>").
Without options: a Q8690I with current firmware at its factory setting (115200 8N1, echo on,
SIM ready, registered).

  --port N             publish as COMn (default 1)
  --map FILE           the port map to write (default: $BREL_PORT_MAP, else the user's map)
  --baud RATE          the modem's rate: 300 .. 115200
  --framing DPS        data bits, parity (N O E M S), stop bits: 8N1, 7E1, 8N2 ...
  --echo on|off        command echo
  --model Q8690I|Q8630
  --firmware VERSION   firmware version, e.g. 1.0.1 for an old-firmware modem
  --build N            build number in the model text
  --sim STATE          ready, pin, puk or absent
  --pin NNNN           the SIM's PIN (default 1234)
  --csq LIST           signal readings one per query, the last repeating: 21,7,99
  --creg LIST          registration states one per query: 2,1 (any character)
  --operator CODE=NAME the network's numeric code and name (default 00101=TestNet)
  --online call|tunnel start on line with a data call or the SMS tunnel (carrier on)
  --dcd-on-escape      the SMS tunnel comes up as "+++" arrives
  --no-cts             CTS off
  --guard MS           escape guard time (default 1000)
  --prompt-delay MS    pause before each configuration prompt (default 80)
  --verdict V          after a firmware transfer: image (check it), success, failed, mismatch, silent
  --mute               never answer
  --no-reply CMD       leave this command unanswered (repeatable; a trailing * matches a prefix)
  --report-refusal T   answer "at*report" with the line T instead, e.g. "Enter SMS text"
  --quiet              do not print the commands received
  -h, --help           show this help and exit
  -v, --version        show the version and exit
See q86sim(1).
)";

bool parseFraming(const std::string& f, q86sim::LineSetting& l) {
    if (f.size() != 3 || (f[0] != '7' && f[0] != '8') || (f[2] != '1' && f[2] != '2')) {
        return false;
    }
    const std::string letters = "NOEMS";
    const auto p = letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(f[1]))));
    if (p == std::string::npos) {
        return false;
    }
    l.dataBits = static_cast<uint8_t>(f[0] - '0');
    l.parity = static_cast<uint8_t>(p);
    l.stopBits = static_cast<uint8_t>(f[2] - '0');
    return true;
}

std::vector<std::string> splitList(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    for (std::string item; std::getline(in, item, ',');) {
        if (!item.empty()) {
            out.push_back(item);
        }
    }
    return out;
}

// A value the option does not take names the option; an option the program does not know gets the usage.
int fail(const std::string& message, bool withUsage = false) {
    std::cerr << "q86sim: " << message << "\n";
    std::cerr << (withUsage ? kUsage : "(see q86sim --help)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    q86sim::Scenario s;
    q86sim::Settings settings = q86sim::Settings::factory();
    int port = 1;
    std::string mapFile = portmap::mapFilePath();
    bool quiet = false;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](int& out, int lo, int hi) {
            std::string v;
            if (!value(v)) {
                return false;
            }
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < lo || n > hi) {
                return false;
            }
            out = static_cast<int>(n);
            return true;
        };
        std::string v;
        int n = 0;
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--version" || a == "-v") {
            std::cout << "q86sim " << BREL_VERSION << "\n";
            return 0;
        } else if (a == "--port") {
            if (!number(port, portmap::kMinPort, portmap::kMaxPort)) {
                return fail("--port takes 1 .. 256");
            }
        } else if (a == "--map") {
            if (!value(mapFile)) {
                return fail("--map takes a file");
            }
        } else if (a == "--baud") {
            if (!number(n, 1, 115200) || !q86sim::isSupportedRate(static_cast<uint32_t>(n))) {
                return fail("--baud takes 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
            }
            settings.line.baud = static_cast<uint32_t>(n);
        } else if (a == "--framing") {
            if (!value(v) || !parseFraming(v, settings.line)) {
                return fail("--framing takes data bits, parity and stop bits, e.g. 8N1 or 7E1");
            }
        } else if (a == "--echo") {
            if (!value(v) || (v != "on" && v != "off")) {
                return fail("--echo takes on or off");
            }
            settings.echo = v == "on";
        } else if (a == "--model") {
            if (!value(v) || (v != "Q8690I" && v != "Q8630")) {
                return fail("--model takes Q8690I or Q8630");
            }
            s.model = v == "Q8690I" ? q86sim::Model::Q8690I : q86sim::Model::Q8630;
        } else if (a == "--firmware") {
            if (!value(s.firmwareVersion) || s.firmwareVersion.empty()) {
                return fail("--firmware takes a version");
            }
        } else if (a == "--build") {
            if (!value(s.build)) {
                return fail("--build takes a number");
            }
        } else if (a == "--sim") {
            if (!value(v)) {
                return fail("--sim takes ready, pin, puk or absent");
            }
            if (v == "ready") {
                s.sim = q86sim::SimState::Ready;
            } else if (v == "pin") {
                s.sim = q86sim::SimState::PinRequired;
            } else if (v == "puk") {
                s.sim = q86sim::SimState::PukRequired;
            } else if (v == "absent") {
                s.sim = q86sim::SimState::Absent;
            } else {
                return fail("--sim takes ready, pin, puk or absent");
            }
        } else if (a == "--pin") {
            if (!value(s.pin) || s.pin.size() != 4 ||
                s.pin.find_first_not_of("0123456789") != std::string::npos) {
                return fail("--pin takes four digits");
            }
        } else if (a == "--csq") {
            if (!value(v) || splitList(v).empty()) {
                return fail("--csq takes a list of readings");
            }
            s.csq.clear();
            for (const std::string& r : splitList(v)) {
                s.csq.push_back(r + (r == "99" ? ",99" : ",0"));
            }
        } else if (a == "--creg") {
            if (!value(v) || splitList(v).empty()) {
                return fail("--creg takes a list of states");
            }
            s.creg = splitList(v);
        } else if (a == "--operator") {
            const auto eq = value(v) ? v.find('=') : std::string::npos;
            if (eq == std::string::npos || eq == 0) {
                return fail("--operator takes CODE=NAME");
            }
            s.operatorCode = v.substr(0, eq);
            s.operatorNames = {{s.operatorCode, v.substr(eq + 1)}};
        } else if (a == "--online") {
            if (!value(v) || (v != "call" && v != "tunnel")) {
                return fail("--online takes call or tunnel");
            }
            s.connection = v == "call" ? q86sim::Connection::DataCall : q86sim::Connection::SmsTunnel;
        } else if (a == "--dcd-on-escape") {
            s.dcdOnEscape = true;
        } else if (a == "--no-cts") {
            s.cts = false;
        } else if (a == "--guard") {
            if (!number(s.guardMs, 0, 10000)) {
                return fail("--guard takes 0 .. 10000 ms");
            }
        } else if (a == "--prompt-delay") {
            if (!number(s.promptDelayMs, 0, 10000)) {
                return fail("--prompt-delay takes 0 .. 10000 ms");
            }
        } else if (a == "--verdict") {
            if (!value(v)) {
                return fail("--verdict takes image, success, failed, mismatch or silent");
            }
            if (v == "image") {
                s.verdict = q86sim::UpgradeVerdict::FromImage;
            } else if (v == "success") {
                s.verdict = q86sim::UpgradeVerdict::Success;
            } else if (v == "failed") {
                s.verdict = q86sim::UpgradeVerdict::Failed;
            } else if (v == "mismatch") {
                s.verdict = q86sim::UpgradeVerdict::MisMatch;
            } else if (v == "silent") {
                s.verdict = q86sim::UpgradeVerdict::Silent;
            } else {
                return fail("--verdict takes image, success, failed, mismatch or silent");
            }
        } else if (a == "--no-reply") {
            if (!value(v) || v.empty()) {
                return fail("--no-reply takes a command");
            }
            s.noReplyTo.push_back(v);
        } else if (a == "--report-refusal") {
            if (!value(v) || v.empty()) {
                return fail("--report-refusal takes a text");
            }
            s.reportRefusal = "\r\n" + v + "\r\n";
        } else if (a == "--mute") {
            s.mute = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else {
            return fail("unknown option " + a, true);
        }
    }
    if (settings.line.stopBits == 2 && settings.line.parity != q86sim::ParityNone) {
        return fail("two stop bits go without parity");
    }
    s.initialSettings = settings;

    // The signals are taken by sigtimedwait below, never by a handler in another thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    q86sim::SimulatedModem modem(s);
    // The shared lines live in a private folder, removed again at the end.
    std::string linesFolder =
        std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/q86sim-XXXXXX";
    if (!::mkdtemp(linesFolder.data())) {
        std::cerr << "q86sim: cannot make a folder for the modem lines: " << std::strerror(errno) << "\n";
        return 1;
    }
    if (!modem.shareLines(linesFolder + "/lines")) {
        std::cerr << "q86sim: cannot make the modem-lines file in " << linesFolder << ": "
                  << std::strerror(errno) << "\n";
        ::rmdir(linesFolder.c_str());
        return 1;
    }
    struct RemoveFolder {
        q86sim::SimulatedModem& modem;
        std::string folder;
        ~RemoveFolder() {
            modem.stop();
            ::rmdir(folder.c_str());
        }
    } removeFolder{modem, linesFolder};
    try {
        modem.start();
    } catch (const std::exception& e) {
        std::cerr << "q86sim: no pseudo-terminal: " << e.what() << "\n";
        return 1;
    }
    if (!modem.publish(port, mapFile)) {
        std::cerr << "q86sim: cannot write " << mapFile << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::cout << modem.devicePath() << std::endl;
    std::cerr << "q86sim: COM" << port << " -> " << modem.devicePath() << " in " << mapFile << " ("
              << (s.model == q86sim::Model::Q8690I ? "Q8690I" : "Q8630") << " v" << s.firmwareVersion << ", "
              << settings.line.describe() << ")\n";

    std::size_t shown = 0;
    bool dtr = modem.dtr();
    while (true) {
        const timespec tick{0, 200'000'000};
        const int sig = sigtimedwait(&stopSignals, nullptr, &tick);
        if (sig == SIGINT || sig == SIGTERM) {
            break;
        }
        if (!quiet) {
            if (modem.dtr() != dtr) {
                dtr = !dtr;
                std::cerr << "q86sim: DTR " << (dtr ? "on" : "off") << "\n";
            }
            const auto log = modem.commands();
            // The log drops its oldest half when it grows long; start again from there.
            if (shown > log.size()) {
                shown = 0;
            }
            for (; shown < log.size(); ++shown) {
                std::cerr << "q86sim: " << log[shown].text << "\n";
            }
        }
    }
    return 0;
}
