// What changed in a screen model since the view last looked: collected by the writer under the model's
// lock and taken by the view in one piece.
#pragma once

#include <cstdint>

namespace terminal {

// The most lines a screen may have: one bit of Damage::rows each.
inline constexpr int MaxScreenLines = 32;

struct Damage {
    uint32_t rows = 0; // bit r: cells of screen row r changed
    bool full = false; // the whole buffer changed (clear, new buffer, selection)
    int scrolled = 0;  // full-screen scrolls into the history (the picture moved up this far)
    bool cursorMoved = false;
    bool cursorVisibilityChanged = false;
    int bells = 0;

    bool empty() const {
        return rows == 0 && !full && scrolled == 0 && !cursorMoved && !cursorVisibilityChanged && bells == 0;
    }
};

static_assert(MaxScreenLines <= 32, "a screen row is one bit of Damage::rows");

} // namespace terminal
