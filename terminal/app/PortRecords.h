// The settings records of one port window: line, terminal and transfer settings and where the window
// sits. They are plain values: the option file stores them as they are.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace halvic {

// A zero-terminated text field of fixed size, as the option file keeps it.
template <size_t N>
struct TextField {
    std::array<char, N> bytes{};

    std::string str() const { return std::string(bytes.data(), strnlen(bytes.data(), N)); }
    void set(const std::string& text) {
        bytes.fill(0);
        std::memcpy(bytes.data(), text.data(), std::min(text.size(), N - 1));
    }
    bool operator==(const TextField&) const = default;
};

struct PortSettings {
    TextField<20> portName; // "COM1"; "\\.\COM10" from COM10 up
    int32_t portNumber = 1;
    int32_t parityCode = 0;   // SerialModeBits parity
    int32_t dataBitsCode = 3; // 5..8 bits as 0..3
    int32_t stopBitsCode = 0; // 0 or SerialStop2
    int32_t baudIndex = 12;   // 9600
    int32_t parityIndex = 0;  // None, Even, Odd, Mark, Space
    int32_t dataBitsIndex = 3;
    int32_t stopBitsIndex = 0;
    int32_t flowBits = 0; // SerialFlowBits
    int32_t baudCode = 12;
    int32_t modeBits = 3;
    int32_t dtr = 1;
    int32_t rts = 1;

    bool hardwareFlow() const { return (flowBits & 0x3) != 0; }
    bool softwareFlow() const { return (flowBits & 0xC) != 0; }
    bool operator==(const PortSettings&) const = default;
};

// Enter key and received CR / LF codes.
enum LineEndCode : int32_t { CodeCrLf = 0, CodeCr = 1, CodeLf = 2, CodeUnchanged = 3 };

struct TerminalSettings {
    int32_t terminalType = 0; // 0 ANSI, 1 VT100, 2 Dumb Terminal
    int32_t localEcho = 0;
    int32_t enterCode = CodeCr;
    int32_t receivedCrCode = CodeUnchanged;
    int32_t receivedLfCode = CodeUnchanged;
    bool operator==(const TerminalSettings&) const = default;
};

struct TransferSettings {
    TextField<260> receiveDirectory;
    TextField<260> transmitFolder;
    TextField<260> captureFileName;
    int32_t zmodemAutoDownload = 0;
    bool operator==(const TransferSettings&) const = default;
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

struct ChildPlacement {
    Rect frame; // in MDI-area coordinates
    int32_t ownMaximised = 0;
    Rect normal;
    bool operator==(const ChildPlacement&) const = default;
};

// The port name text of COM n.
inline std::string MakePortName(int port) {
    char name[20];
    std::snprintf(name, sizeof name, port >= 10 ? "\\\\.\\COM%d" : "COM%d", port);
    return name;
}

inline void SetPort(PortSettings& settings, int port) {
    settings.portNumber = port;
    settings.portName.set(MakePortName(port));
}

} // namespace halvic
