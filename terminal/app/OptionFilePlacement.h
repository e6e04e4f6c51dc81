// The main window's placement as the option file keeps it: showCmd and the normal rectangle with
// exclusive right and bottom edges.
#pragma once

#include "option_file_codec.h"

class QWidget;

terminal::WindowPlacement windowPlacementOf(const QWidget& window);

// Gives the window its normal rectangle (kept on the screen) and shows it in the stored state.
void applyWindowPlacement(QWidget& window, const terminal::WindowPlacement& placement);
