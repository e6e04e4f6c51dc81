// Our recogniser and screen against an independent emulator (libvterm), on seeded random streams made
// of the sequences the shipped descriptions describe. Streams leave out what the two do differently by
// design: autowrap (switched off in the peer), a zero count for the parameter moves, inserting,
// deleting or scrolling while reverse or underline is on (the peer gives the new blanks the current
// attributes, ours the normal one), index and reverse index away from the region edge (ours always
// scrolls the region), attribute or character set changes between save and restore (ours saves the
// position only), regions with bottom above top, character insertion or deletion outside the scroll
// region (the peer ignores it there), and the ANSI forms the peer reads otherwise (ESC [ 2 J also homes
// the cursor here, ESC [ s sets margins there).
#include "vterm_peer.h"

#include <gtest/gtest.h>

#include <random>

using namespace terminal;
using termtest::differences;
using termtest::Peer;
using termtest::peerGlyphs;
using termtest::Terminal;

namespace {

// Random operations, each chosen with the state of our screen in view so that the stream stays inside
// what both emulators are meant to agree on.
class StreamMaker {
public:
    StreamMaker(uint32_t seed, bool vt100) : rng_(seed), vt100_(vt100) {}

    std::string next(const ScreenState& s) {
        for (;;) {
            const std::string op = candidate(s);
            if (!op.empty())
                return op;
        }
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    std::string num(int n) { return std::to_string(n); }
    static bool inRegion(const ScreenState& s) {
        return s.cursorRow() >= s.scrollTop() && s.cursorRow() <= s.scrollBottom();
    }

    std::string candidate(const ScreenState& s) {
        const bool plainPen = (s.currentAttribute() & (AttrReverse | AttrUnderline)) == 0;
        switch (pick(0, 27)) {
        case 0:
        case 1:
        case 2: {
            std::string text;
            const int n = pick(1, 12);
            static const std::string alt = "afgjklmnqtuvwxyz{}~";
            for (int i = 0; i < n; ++i)
                text += s.altCharset() ? alt[static_cast<size_t>(pick(0, int(alt.size()) - 1))]
                                       : static_cast<char>(pick(0x20, 0x7E));
            return text;
        }
        case 3:
            return "\r";
        case 4:
            return plainPen || s.cursorRow() != s.scrollBottom() ? "\n" : "";
        case 5:
            return "\b";
        case 6:
            return "\t";
        case 7:
            return "\x1b[" + num(pick(0, 30)) + ";" + num(pick(0, 90)) + (pick(0, 1) ? "H" : "f");
        case 8:
            return std::string("\x1b[") + "ABCD"[pick(0, 3)];
        case 9:
            return "\x1b[" + num(pick(1, 30)) + "ABCD"[pick(0, 3)];
        case 10:
            return "\x1b[Z";
        case 11: {
            static const char* const modes[] = {"", "0", "1", "2"};
            return std::string("\x1b[") + modes[pick(0, 3)] + "K";
        }
        case 12: {
            static const char* const modes[] = {"", "0", "1", "2"};
            // The ANSI description has only the forms that erase below.
            return std::string("\x1b[") + modes[pick(0, vt100_ ? 3 : 1)] + "J";
        }
        case 13:
        case 14: {
            static const int values[] = {0, 1, 4, 5, 7};
            std::string sgr = "\x1b[";
            const int n = pick(1, 5);
            for (int i = 0; i < n; ++i)
                sgr += (i ? ";" : "") + num(values[pick(0, 4)]);
            return sgr + "m";
        }
        case 15:
            return "\x1b[m";
        case 16:
            return plainPen ? std::string("\x1b[") + "LM"[pick(0, 1)] : "";
        // The peer inserts and deletes characters only inside the scroll region.
        case 17:
            return plainPen && inRegion(s) && s.cursorColumn() < s.columns() - 1 ? "\x1b[@" : "";
        case 18:
            return plainPen && inRegion(s) ? "\x1b[P" : "";
        case 19: {
            const int top = pick(1, s.screenLines() - 1);
            const int bottom = pick(top + 1, s.screenLines());
            return "\x1b[" + num(top) + ";" + num(bottom) + "r";
        }
        case 20:
            saved_ = true;
            penAtSave_ = s.currentAttribute();
            charsetAtSave_ = s.altCharset();
            return "\x1b"
                   "7";
        case 21:
            if (!saved_ || penAtSave_ != s.currentAttribute() || charsetAtSave_ != s.altCharset())
                return "";
            return "\x1b"
                   "8";
        case 22:
            return plainPen && vt100_ && s.cursorRow() == s.scrollBottom() ? "\x1b"
                                                                             "D"
                                                                           : "";
        case 23:
            return plainPen && vt100_ && s.cursorRow() == s.scrollTop() ? "\x1bM" : "";
        case 24:
            return vt100_ ? (pick(0, 1) ? "\x1b(0" : "\x1b(B") : "";
        case 25:
            return "\x1b[6n";
        case 26:
            return pick(0, 1) ? "\x1b[?25l" : "\x1b[?25h";
        case 27:
            return "\a";
        }
        return "";
    }
    std::mt19937 rng_;
    bool vt100_;
    bool saved_ = false;
    uint16_t penAtSave_ = 0;
    bool charsetAtSave_ = false;
};

void runDifferential(const char* file, bool vt100) {
    const auto table = termtest::shipped(file);
    const auto glyphs = peerGlyphs();
    for (uint32_t seed = 1; seed <= 150; ++seed) {
        // Build the stream against a shadow screen, remembering where each operation starts.
        Terminal shadow(table);
        StreamMaker maker(seed, vt100);
        std::vector<std::string> ops;
        for (int i = 0; i < 2000; ++i) {
            ops.push_back(maker.next(shadow.screen));
            shadow << ops.back();
        }
        std::string stream;
        for (const std::string& op : ops)
            stream += op;

        // Feed ours in random cuts and the peer whole, then compare.
        Terminal ours(table);
        Peer peer(table->lines(), table->columns());
        std::mt19937 cuts(seed);
        for (size_t at = 0; at < stream.size();) {
            const size_t n = std::min<size_t>(stream.size() - at, cuts() % 64 + 1);
            ours << std::string_view(stream).substr(at, n);
            at += n;
        }
        peer.feed(stream);
        std::string ourReplies;
        std::string peerReplies;
        const std::string diff = differences(ours, peer, glyphs, ourReplies, peerReplies);
        if (diff.empty())
            continue;
        // Find the first operation after which the two differ, for the report.
        Terminal stepOurs(table);
        Peer stepPeer(table->lines(), table->columns());
        std::string a;
        std::string b;
        for (size_t i = 0; i < ops.size(); ++i) {
            stepOurs << ops[i];
            stepPeer.feed(ops[i]);
            const std::string d = differences(stepOurs, stepPeer, glyphs, a, b);
            if (!d.empty()) {
                std::string context;
                for (size_t k = i >= 4 ? i - 4 : 0; k <= i; ++k)
                    context += "[" + termtest::visible(ops[k]) + "] ";
                const int row = stepOurs.screen.cursorRow();
                std::string mine;
                std::string theirs;
                for (int c = 0; c < peer.columns(); ++c) {
                    mine += static_cast<char>(stepOurs.screen.rowChars(row)[static_cast<size_t>(c)]);
                    const uint32_t t = stepPeer.cell(row, c).chars[0];
                    theirs += t == 0 ? ' ' : t < 0x80 ? static_cast<char>(t) : '?';
                }
                FAIL() << file << " seed " << seed << " operation " << i << ": " << d
                       << "\nlast operations: " << context << "\ncursor row " << stepOurs.screen.cursorRow()
                       << ", column " << stepOurs.screen.cursorColumn()
                       << "\nours: " << termtest::visible(mine) << "\npeer: " << theirs;
            }
        }
        FAIL() << file << " seed " << seed << ": " << diff << " (only when fed in pieces)";
    }
}

TEST(VtermDifferential, Vt100MatchesThePeer) {
    runDifferential("vt100", true);
}

TEST(VtermDifferential, AnsiMatchesThePeer) {
    runDifferential("ansi", false);
}

} // namespace
