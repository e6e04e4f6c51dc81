// The Send Pattern dialog's entries, kept for the whole program so the dialog opens with the last ones.
#pragma once

#include "pattern_generator.h"

#include <cstdint>

namespace halvic {

struct PatternSettings {
    terminal::PatternEntries entries; // start: Range(Hex), no bytes, empty range, until user break, "1"
    uint32_t repeatCount = 1;
};

PatternSettings& patternSettings();
// Back to the start values (tests).
void resetPatternSettings();

} // namespace halvic
