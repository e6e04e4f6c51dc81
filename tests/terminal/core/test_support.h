// Helpers shared by the terminal core tests: the shipped descriptions, a recording sink and a screen
// driven through the recogniser.
#pragma once

#include "capability_names.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_loader.h"

#include <cctype>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace termtest {

inline std::shared_ptr<const terminal::TermcapTable> shipped(std::string_view name) {
    const terminal::LoadResult r =
        terminal::LoadTermcapFile(std::string(BREL_BIN_DIR) + "/" + std::string(name), name);
    EXPECT_TRUE(r.ok()) << r.message();
    return r.table;
}

inline std::shared_ptr<const terminal::TermcapTable> described(std::string_view text) {
    const terminal::LoadResult r = terminal::LoadTermcapText(text, "test");
    EXPECT_TRUE(r.ok()) << r.message();
    return r.table;
}

inline const uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// Shows control bytes as ^X so that failures are readable.
inline std::string visible(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20) {
            out += '^';
            out += static_cast<char>(c + 0x40);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// A byte sequence as a test row's name: letters and digits kept, ESC [ and ESC spelt out, the other
// bytes by name or in hex.
inline std::string rowName(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == 0x1B && i + 1 < s.size() && s[i + 1] == '[') {
            out += "Csi";
            ++i;
        } else if (c == 0x1B) {
            out += "Esc";
        } else if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else if (c == ';') {
            out += '_';
        } else if (c == '?') {
            out += 'Q';
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += 'x';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

// Records events as strings; adjacent text runs are merged, since where a run is cut is not part of
// the contract.
class RecordingSink : public terminal::RecogniserSink {
public:
    std::vector<std::string> events;

    void text(const uint8_t* data, size_t length) override {
        const std::string t = visible(std::string_view(reinterpret_cast<const char*>(data), length));
        if (!events.empty() && events.back().rfind("text:", 0) == 0)
            events.back() += t;
        else
            events.push_back("text:" + t);
    }
    void capability(const terminal::CapabilityEvent& e) override {
        std::string s(terminal::CapabilityNames.at(e.capability));
        s += "(";
        for (int i = 0; i < e.parameterCount; ++i)
            s += (i ? "," : "") + std::to_string(e.parameters[i]);
        for (int i = e.parameterCount; i < terminal::CapabilityEvent::MaxParameters; ++i)
            EXPECT_EQ(e.parameters[i], 0) << "unused parameter slots are zero";
        if (e.anyCount > 0)
            s += " any=" + visible(std::string_view(reinterpret_cast<const char*>(e.anyCharacters.data()),
                                                    static_cast<size_t>(e.anyCount)));
        s += ")";
        if (e.flags)
            s += "f" + std::to_string(e.flags);
        events.push_back(s);
    }
};

// A screen of the size a description gives, fed through a recogniser of that description.
class Terminal {
public:
    explicit Terminal(std::shared_ptr<const terminal::TermcapTable> table,
                      terminal::TerminalType type = terminal::TerminalType::Vt100)
        : recogniser(table), applier(screen) {
        EXPECT_TRUE(screen.AllocScreenBuffer(table->columns(), table->lines(), terminal::HistoryLines, type));
    }
    Terminal& operator<<(std::string_view s) {
        recogniser.feed(bytes(s), s.size(), applier);
        return *this;
    }
    std::string row(int r) const {
        const auto c = screen.rowChars(r);
        std::string s(reinterpret_cast<const char*>(c.data()), c.size());
        return s.substr(0, s.find_last_not_of(' ') + 1);
    }
    uint16_t attr(int column, int r) const { return screen.rowAttrs(r)[static_cast<size_t>(column)]; }

    terminal::ScreenState screen;
    terminal::SequenceRecogniser recogniser;
    terminal::ScreenApplier applier;
};

} // namespace termtest
