// The text of one terminal: a circular buffer of character lines with one attribute word per cell,
// holding the screen and the history above it, plus the cursor, scroll region, current attribute and
// character set. ScreenState is the unguarded content; ScreenModel guards it with its own mutex for the
// reader thread that writes it and the GUI thread that paints it.
#pragma once

#include "capability_names.h"
#include "screen_damage.h"
#include "sequence_recogniser.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace terminal {

inline constexpr uint16_t AttrNormal = 0x00FF;
inline constexpr uint16_t AttrReverse = 0x0100;
inline constexpr uint16_t AttrUnderline = 0x0200;
inline constexpr uint16_t AttrSelected = 0x8000;
inline constexpr int HistoryLines = 25;

// CR and LF translations of the dumb terminal.
enum class LineEndTranslation : int { CrLf = 0, Cr = 1, Lf = 2, Unchanged = 3 };

// A copy of some buffer lines and of what painting needs besides, taken under the model's lock so
// that drawing goes on without it.
struct ScreenSnapshot {
    int firstLine = 0; // absolute line of the first copied line
    int lineCount = 0;
    int columns = 0;
    int bufferLines = 0;
    int screenStart = 0;
    int cursorColumn = 0;
    int cursorLine = 0;
    bool cursorVisible = false;
    std::vector<uint8_t> chars; // lineCount x columns
    std::vector<uint16_t> attrs;

    // The cells of absolute line `line`; empty when it was not copied.
    std::span<const uint8_t> lineChars(int line) const;
    std::span<const uint16_t> lineAttrs(int line) const;
};

class ScreenState {
public:
    // Frees the old buffers, allocates columns x (screen lines + history lines) cells, sets the type,
    // clears the buffer and makes the whole screen the scroll region. False when out of memory (the
    // model then has no buffer) or for a size without cells.
    bool AllocScreenBuffer(int columns, int screenLines, int historyLines, TerminalType type);
    void FreeScreenBuffer();
    // Blanks every cell with attribute 0 and puts the cursor home; for ANSI and VT100 the history counts
    // as full of blank lines, for the dumb terminal it starts empty.
    void ClearBuffer();

    void PutTerminalChars(const uint8_t* run, size_t length);
    void PutDumbChars(const uint8_t* run, size_t length);
    void setTranslations(LineEndTranslation cr, LineEndTranslation lf);

    // Takes the event's parameters as those of the current action and carries the capability out.
    void carryOut(const CapabilityEvent& event);
    void RunCapability(int index);

    int columns() const { return columns_; }
    int screenLines() const { return screenLines_; }
    int bufferLines() const { return bufferLines_; }
    int historyCount() const { return historyCount_; }
    TerminalType type() const { return type_; }
    int cursorColumn() const { return cursorColumn_; }
    int cursorRow() const { return cursorRow_; }
    bool cursorVisible() const { return cursorVisible_; }
    int scrollTop() const { return scrollTop_; }
    int scrollBottom() const { return scrollBottom_; }
    uint16_t currentAttribute() const { return attribute_; }
    bool altCharset() const { return altCharset_; }

    // Absolute lines count from the oldest buffer line (0).
    int absoluteLine(int row) const;
    int screenStartLine() const { return absoluteLine(0); }
    int cursorLine() const { return absoluteLine(cursorRow_); }
    // The cells of absolute line `line`; empty outside the buffer.
    std::span<const uint8_t> lineChars(int line) const;
    std::span<const uint16_t> lineAttrs(int line) const;
    // The cells of screen row `row`; empty outside the screen.
    std::span<const uint8_t> rowChars(int row) const;
    std::span<const uint16_t> rowAttrs(int row) const;
    // Copies absolute lines firstLine..lastLine (limited to the buffer) into `out`, reusing its storage.
    void snapshot(int firstLine, int lastLine, ScreenSnapshot& out) const;

    // Lines dropped off the oldest end of the buffer since it was made: an absolute line number taken
    // earlier names the same text after subtracting the lines dropped since.
    uint64_t discardedLines() const { return discardedLines_; }
    // Counts every move of text inside the buffer other than that (region scrolls, inserted and
    // deleted lines or characters, clearing): a range taken before such a move may hold other text.
    uint64_t textMoves() const { return textMoves_; }

    // Sets or clears the selection bit from (startColumn, firstLine) up to before (endColumn, lastLine);
    // the two ends may come in either order and are limited to the buffer.
    void MarkSelection(int startColumn, int endColumn, int firstLine, int lastLine, bool on);
    // The characters of the same range, CR LF between lines.
    std::string CopyText(int startColumn, int firstLine, int endColumn, int lastLine) const;

    const Damage& damage() const { return damage_; }
    Damage takeDamage();
    // Bytes the terminal answers with (cursor position reports), to be written to the port.
    std::string takeReplies();

private:
    int bufferRow(int row) const { return (screenTop_ + row) % bufferLines_; }
    uint8_t* charsOf(int bufferLine) { return chars_.data() + static_cast<size_t>(bufferLine) * columns_; }
    uint16_t* attrsOf(int bufferLine) { return attrs_.data() + static_cast<size_t>(bufferLine) * columns_; }
    void blankRow(int row, int from, int to, uint16_t attribute);
    void copyRow(int fromRow, int toRow);
    void markRows(int first, int last);
    void moveCursor(int column, int row);
    void lineFeed();
    // A CR or LF of the dumb terminal, after its translation.
    void dumbLineEnd(LineEndTranslation translation, uint8_t original);
    void scrollWithHistory();
    void scrollRegionUp(int top, int bottom);

    void backTab();
    void changeScrollRegion();
    void clearScreen();
    void clrEol();
    void clrEos();
    void cursorAddress();
    void deleteCharacter();
    void deleteLine();
    void insertCharacter();
    void insertLine();
    void setAttribute();
    void reportCursorPosition();

    int cursorColumn_ = 0;
    int cursorRow_ = 0;
    int bufferLines_ = 0;
    int screenLines_ = 0;
    int columns_ = 0;
    int scrollTop_ = 0;
    int scrollBottom_ = 0;
    bool cursorVisible_ = true;
    std::vector<uint8_t> chars_;
    std::vector<uint16_t> attrs_;
    int oldestLine_ = 0;
    int screenTop_ = 0;
    int historyCount_ = 0;
    uint64_t discardedLines_ = 0;
    uint64_t textMoves_ = 0;
    LineEndTranslation crTranslation_ = LineEndTranslation::CrLf;
    LineEndTranslation lfTranslation_ = LineEndTranslation::CrLf;
    std::array<int32_t, CapabilityEvent::MaxParameters> parameters_{};
    int parameterCount_ = 0;
    std::array<uint8_t, CapabilityEvent::MaxAnyCharacters> anyCharacters_{};
    int anyCount_ = 0;
    uint8_t flags_ = 0;
    uint16_t attribute_ = AttrNormal;
    int savedColumn_ = 0;
    int savedRow_ = 0;
    TerminalType type_ = TerminalType::Ansi;
    bool altCharset_ = false;

    Damage damage_;
    std::string replies_;
};

// Everything outside ScreenModel reaches the state through a Guard, which holds the model's mutex.
class ScreenModel {
public:
    template <class State>
    class Guard {
    public:
        Guard(std::mutex& mutex, State& state) : lock_(mutex), state_(&state) {}
        State* operator->() const { return state_; }
        State& operator*() const { return *state_; }

    private:
        std::unique_lock<std::mutex> lock_;
        State* state_;
    };

    Guard<ScreenState> lock() { return {mutex_, state_}; }
    Guard<const ScreenState> lock() const { return {mutex_, state_}; }

private:
    mutable std::mutex mutex_;
    ScreenState state_;
};

// Applies recognised text and capabilities to a screen state (the caller holds its lock).
class ScreenApplier : public RecogniserSink {
public:
    explicit ScreenApplier(ScreenState& state) : state_(state) {}
    void text(const uint8_t* data, size_t length) override { state_.PutTerminalChars(data, length); }
    void capability(const CapabilityEvent& event) override { state_.carryOut(event); }

private:
    ScreenState& state_;
};

} // namespace terminal
