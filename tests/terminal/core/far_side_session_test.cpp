// A bash session on a Linux far side with TERM=halvic-vt100 or halvic-ansi (recorded once for each by
// fixtures/record_bash_session.py: prompts with bracketed paste, line editing across the screen's right
// edge, attributes, a scroll region, clear) replayed through our recogniser and screen and through
// libvterm: after every line the two screens agree row for row.
#include "vterm_peer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using termtest::Peer;
using termtest::Terminal;

namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(BREL_FIXTURES_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void replay(const char* description) {
    const std::string session = fixture(std::string("bash_session_") + description + ".bin");
    ASSERT_GT(session.size(), 1000u) << description;
    const auto table = termtest::shipped(description);
    Terminal ours(table);
    Peer peer(table->lines(), table->columns());
    const auto glyphs = termtest::peerGlyphs();
    std::string ourReplies;
    std::string peerReplies;
    int lines = 0;
    for (size_t at = 0; at < session.size();) {
        const size_t end = std::min(session.find('\n', at), session.size() - 1) + 1;
        const std::string_view line = std::string_view(session).substr(at, end - at);
        ours << line;
        peer.feed(line);
        at = end;
        ++lines;
        const std::string d = termtest::differences(ours, peer, glyphs, ourReplies, peerReplies);
        ASSERT_EQ(d, "") << description << " after line " << lines << ": " << termtest::visible(line);
    }
    // What the session leaves: the text placed by tput, a long output line cut at the right edge
    // rather than wrapped, and the last command.
    EXPECT_EQ(ours.row(3), "          AT") << description;
    EXPECT_EQ(ours.row(4), std::string(80, 'x')) << description;
    EXPECT_EQ(ours.row(6), "exit") << description;
    EXPECT_GT(lines, 60) << description;
}

TEST(FarSideSession, BashOnTheVt100EntryMatchesThePeerRowForRow) {
    replay("vt100");
}

TEST(FarSideSession, BashOnTheAnsiEntryMatchesThePeerRowForRow) {
    replay("ansi");
}

} // namespace
