// The settings records of one port window, as the option file keeps them, with the helpers the
// windows use on them.
#pragma once

#include "option_file_codec.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace halvic {

using terminal::ChildPlacement;
using terminal::PortSettings;
using terminal::TerminalSettings;
using terminal::TransferSettings;

// Enter key and received CR / LF codes.
enum LineEndCode : int32_t { CodeCrLf = 0, CodeCr = 1, CodeLf = 2, CodeUnchanged = 3 };

inline bool HardwareFlow(const PortSettings& settings) {
    return (settings.flowBits & 0x3) != 0;
}
inline bool SoftwareFlow(const PortSettings& settings) {
    return (settings.flowBits & 0xC) != 0;
}

// The port name text of COM n.
inline std::string MakePortName(int port) {
    char name[20];
    std::snprintf(name, sizeof name, port >= 10 ? "\\\\.\\COM%d" : "COM%d", port);
    return name;
}

// The name a person reads ("COM12"): the record's name without its device-namespace prefix.
inline std::string DisplayPortName(std::string name) {
    constexpr std::string_view prefix = "\\\\.\\";
    if (name.starts_with(prefix))
        name.erase(0, prefix.size());
    return name;
}

inline void SetPort(PortSettings& settings, int port) {
    settings.portNumber = port;
    terminal::setFieldText(settings.portName, MakePortName(port));
}

} // namespace halvic
