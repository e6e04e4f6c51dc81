// Arbitrary descriptions and arbitrary received bytes through the loader, the recogniser and the screen.
// Input: a description, the two bytes 00 FF, then the stream (without the separator the whole input is
// both). A description that does not load is replaced by a fixed one, so streams are always exercised.
#include "fuzz_check.h"
#include "screen_model.h"
#include "sequence_recogniser.h"
#include "termcap_loader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using fuzzsupport::check;

namespace {

constexpr std::string_view Fallback = "cursor_address = \\E[%i%d;%dH\r\n"
                                      "cursor_home = \\E[H\r\nclear_screen = \\E[H\\E[J\r\n"
                                      "clr_eol = \\E[%dK\r\nset_attribute = \\E[%d;%dm\r\n"
                                      "change_scroll_region = \\E[%i%d;%dr\r\nscroll_forward = \\ED\r\n"
                                      "bell = \\E%.%.X\r\ninsert_line = \\E[L\r\ndelete_line = \\E[M\r\n"
                                      "insert_character = \\E[@\r\ndelete_character = \\E[P\r\n"
                                      "report_cursor_position = \\E[6n\r\nlines = 7\r\ncolumns = 13\r\n";

void checkScreen(const terminal::ScreenState& s) {
    check(s.cursorColumn() >= 0 && s.cursorColumn() < s.columns());
    check(s.cursorRow() >= 0 && s.cursorRow() < s.screenLines());
    check(s.scrollTop() >= 0 && s.scrollTop() <= s.scrollBottom() && s.scrollBottom() < s.screenLines());
    check(s.historyCount() >= 0 && s.historyCount() <= terminal::HistoryLines);
    check(s.rowChars(s.cursorRow()).size() == static_cast<size_t>(s.columns()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzzsupport::asText(data, size);
    const size_t split = input.find(std::string_view("\x00\xff", 2));
    const std::string_view description = split == std::string_view::npos ? input : input.substr(0, split);
    const std::string_view stream = split == std::string_view::npos ? input : input.substr(split + 2);

    terminal::LoadResult loaded = terminal::LoadTermcapText(description, "fuzz");
    if (loaded.ok()) {
        check(loaded.table->nodeCount() <= terminal::TrieCapacity);
        check(loaded.table->poolUsed() <= terminal::KeyPoolSize);
        std::string key;
        for (int vk = 0; vk < 256; ++vk)
            loaded.table->GetKeyString(vk, key);
    } else {
        loaded = terminal::LoadTermcapText(Fallback, "fuzz");
        check(loaded.ok());
    }

    terminal::ScreenState screen;
    check(screen.AllocScreenBuffer(loaded.table->columns(), loaded.table->lines(), terminal::HistoryLines,
                                   terminal::TerminalType::Vt100));
    terminal::SequenceRecogniser recogniser(loaded.table);
    terminal::ScreenApplier applier(screen);
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
    // Cut the stream into reads whose sizes come from the stream itself.
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min<size_t>(stream.size() - at, bytes[at] % 17 + 1);
        recogniser.feed(bytes + at, n, applier);
        check(recogniser.pendingLength() <= terminal::SequenceRecogniser::MaxSequence);
        checkScreen(screen);
        at += n;
    }
    screen.takeReplies();
    const int a = stream.empty() ? 0 : bytes[0];
    const int b = stream.size() < 2 ? 0 : bytes[1];
    screen.MarkSelection(a - 100, b - 100, b - 60, a - 60, true);
    check(screen.CopyText(a - 100, b - 60, b - 100, a - 60).size() <= 200000);

    terminal::ScreenState dumb;
    check(dumb.AllocScreenBuffer(80, 25, terminal::HistoryLines, terminal::TerminalType::Dumb));
    dumb.setTranslations(static_cast<terminal::LineEndTranslation>(a % 4),
                         static_cast<terminal::LineEndTranslation>(b % 4));
    dumb.PutDumbChars(bytes, stream.size());
    checkScreen(dumb);
    return 0;
}
