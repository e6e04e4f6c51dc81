#pragma once
// Drives the pure modem on a virtual clock and collects what it sends.

#include "modem.h"

#include <string>
#include <vector>

namespace q86sim::test {

struct Bench {
    explicit Bench(Scenario s = {}) : modem(std::move(s), 0) { drain(); }

    // Lets virtual time pass, ticking at every deadline on the way.
    void run(Millis ms) {
        const Millis end = now + ms;
        while (true) {
            const auto d = modem.nextDeadline();
            if (!d || *d > end) {
                break;
            }
            now = std::max(now, *d);
            modem.tick(now);
            drain();
        }
        now = end;
        drain();
    }
    // Sends bytes and returns everything sent back within the next `settleMs`.
    std::string send(std::string_view bytes, Millis settleMs = 50) {
        modem.receive(bytes, now);
        drain();
        run(settleMs);
        return take();
    }
    std::string cmd(std::string_view text, Millis settleMs = 50) {
        return send(std::string(text) + "\r\n", settleMs);
    }
    std::string take() {
        std::string s;
        s.swap(out);
        return s;
    }
    void drain() {
        for (Action& a : modem.takeActions()) {
            actions.push_back(a);
            if (a.kind == Action::Kind::Send) {
                out += a.bytes;
            } else if (a.kind == Action::Kind::SetLine) {
                line = a.line;
            } else if (a.kind == Action::Kind::SetDcd) {
                dcd = a.on;
            }
        }
    }

    Modem modem;
    Millis now = 0;
    std::string out;
    std::vector<Action> actions;
    LineSetting line;
    bool dcd = false;
};

inline Scenario quiet() {
    Scenario s;
    Settings st = Settings::factory();
    st.echo = false;
    s.initialSettings = st;
    return s;
}

} // namespace q86sim::test
