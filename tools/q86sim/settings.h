#pragma once
// One profile of the modem: the dialogue's values and the settings of its own commands.

#include "config_keys.h"
#include "line_setting.h"

#include <array>
#include <string>

namespace q86sim {

struct Settings {
    // Values of keys 0..42 as the dialogue stored them. The serial keys 7..12 and the command keys
    // 43..45 are reported from the fields below instead.
    std::array<std::string, kConfigKeyCount> values;
    bool echo = true;           // E
    int s0 = 0;                 // auto-answer rings
    int dtrDrop = 0;            // &D
    std::string cbst = "0,0,1"; // +CBST: speed, name, connection element
    int ifcDce = 2;             // +IFC: 2,2 hardware flow, 0,0 none
    int ifcDte = 2;
    LineSetting line; // +IPR and +ICF

    bool operator==(const Settings&) const = default;

    // The factory profile: 115200 8N1, echo on, hardware flow, every option off.
    static Settings factory();

    // The value as the report shows it (serial and command keys from the fields above).
    std::string reportValue(int key) const;
    bool isYes(int key) const { return values[static_cast<std::size_t>(key)].rfind("Yes", 0) == 0; }
};

} // namespace q86sim
