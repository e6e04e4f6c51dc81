// The folder picker behind the receive-directory choices.
#pragma once

#include <QString>

class QWidget;

// Lets the user choose a folder, starting at start. Returns 1 with the folder and one '/' appended in
// folder, or 0 with folder untouched when nothing was chosen or when the path with its separator and
// terminating zero would not fit in limit bytes (the settings records hold 260); that case is told.
int BrowseForFolder(QWidget* owner, QString& folder, const QString& start, int limit = 260);
