// The text form of a screen that termreplay prints.
#pragma once

#include "screen_model.h"

#include <string>

namespace termreplay {

// Rows top to bottom with trailing blanks trimmed, "cursor ROW COL", then "attr ROW" and every cell's
// attribute in hex for each row with reverse, underline or selection in it.
std::string dumpScreen(const terminal::ScreenState& screen);

} // namespace termreplay
