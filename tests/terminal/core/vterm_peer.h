// libvterm as an independent second emulator, and the comparison of its screen with ours.
#pragma once

#include "alt_charset.h"
#include "test_support.h"

#include <vterm.h>

#include <map>
#include <sstream>
#include <string>
#include <string_view>

namespace termtest {

class Peer {
public:
    Peer(int rows, int columns) : vt_(vterm_new(rows, columns)), rows_(rows), columns_(columns) {
        vterm_set_utf8(vt_, 0);
        vterm_output_set_callback(
            vt_, [](const char* s, size_t n, void* self) { static_cast<Peer*>(self)->output_.append(s, n); },
            this);
        screen_ = vterm_obtain_screen(vt_);
        vterm_screen_reset(screen_, 1);
        feed("\x1b[?7l");
    }
    ~Peer() { vterm_free(vt_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void feed(std::string_view s) { vterm_input_write(vt_, s.data(), s.size()); }
    VTermScreenCell cell(int row, int column) const {
        VTermScreenCell c{};
        vterm_screen_get_cell(screen_, VTermPos{row, column}, &c);
        return c;
    }
    VTermPos cursor() const {
        VTermPos p{};
        vterm_state_get_cursorpos(vterm_obtain_state(vt_), &p);
        return p;
    }
    std::string output() {
        std::string out;
        out.swap(output_);
        return out;
    }
    int rows() const { return rows_; }
    int columns() const { return columns_; }

private:
    VTerm* vt_;
    VTermScreen* screen_;
    int rows_;
    int columns_;
    std::string output_;
};

// What the peer shows for each glyph of our alternate character set.
inline std::map<uint8_t, uint32_t> peerGlyphs() {
    std::map<uint8_t, uint32_t> glyphs;
    for (const auto& [byte, glyph] : terminal::AltCharsetMap) {
        Peer peer(2, 10);
        peer.feed(std::string("\x1b(0") + static_cast<char>(byte));
        glyphs[glyph] = peer.cell(0, 0).chars[0];
    }
    return glyphs;
}

inline std::string differences(Terminal& ours, Peer& peer, const std::map<uint8_t, uint32_t>& glyphs,
                               std::string& ourReplies, std::string& peerReplies) {
    std::ostringstream out;
    for (int r = 0; r < peer.rows(); ++r) {
        const auto chars = ours.screen.rowChars(r);
        const auto attrs = ours.screen.rowAttrs(r);
        for (int c = 0; c < peer.columns(); ++c) {
            const VTermScreenCell cell = peer.cell(r, c);
            const uint32_t theirs = cell.chars[0] == 0 ? ' ' : cell.chars[0];
            const uint8_t mine = chars[static_cast<size_t>(c)];
            const auto glyph = glyphs.find(mine);
            const uint32_t expected = mine >= 0x80 && glyph != glyphs.end() ? glyph->second : mine;
            const bool reverse = attrs[static_cast<size_t>(c)] & terminal::AttrReverse;
            const bool underline = attrs[static_cast<size_t>(c)] & terminal::AttrUnderline;
            if (expected != theirs || reverse != bool(cell.attrs.reverse) ||
                underline != bool(cell.attrs.underline)) {
                out << "cell " << r << "," << c << ": ours " << int(mine) << (reverse ? " rev" : "")
                    << (underline ? " ul" : "") << ", peer U+" << std::hex << theirs << std::dec
                    << (cell.attrs.reverse ? " rev" : "") << (cell.attrs.underline ? " ul" : "") << "; ";
                return out.str();
            }
        }
    }
    const VTermPos p = peer.cursor();
    if (p.row != ours.screen.cursorRow() || p.col != ours.screen.cursorColumn())
        out << "cursor: ours " << ours.screen.cursorRow() << "," << ours.screen.cursorColumn() << ", peer "
            << p.row << "," << p.col << "; ";
    ourReplies += ours.screen.takeReplies();
    peerReplies += peer.output();
    if (ourReplies != peerReplies)
        out << "replies: ours " << termtest::visible(ourReplies) << ", peer "
            << termtest::visible(peerReplies);
    return out.str();
}

} // namespace termtest
