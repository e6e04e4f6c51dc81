// The program's per-user settings: organisation "Brel", application "Halvic", section "2.0".
#pragma once

#include <QSettings>

#include <memory>

namespace halvic {

// A settings object already inside the section.
std::unique_ptr<QSettings> HalvicSettings();

} // namespace halvic
