// The option file (*.hlv): a whole working set of the terminal, one profile per port window plus the
// main window's placement, as raw little-endian records. Pure bytes <-> records; the file operations
// live with the application.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace terminal {

inline constexpr std::string_view OptionFileMagic{"404ZERIPHALVIC\0", 15};
inline constexpr int32_t OptionFileVersion = 512;
inline constexpr size_t MaxProfiles = 256;

inline constexpr size_t PortNameSize = 20;
inline constexpr size_t PathFieldSize = 260;

// Stored sizes of the records and of the file's parts.
inline constexpr size_t PortSettingsSize = 72;
inline constexpr size_t TerminalSettingsSize = 20;
inline constexpr size_t TransferSettingsSize = 784;
inline constexpr size_t ChildPlacementSize = 36;
inline constexpr size_t ProfileSize = 912;
inline constexpr size_t WindowPlacementSize = 44;
inline constexpr size_t OptionFileHeaderSize = 23;
inline constexpr size_t OptionFileCountOffset = 19;

// The communication settings of one port window.
struct PortSettings {
    std::array<char, PortNameSize> portName{}; // "COM1"; from COM10 up "\\.\COM10"
    int32_t portNumber = 0;                    // 1..256
    int32_t parityCode = 0;                    // None 0, Odd 0x08, Even 0x18, Mark 0x28, Space 0x38
    int32_t dataBitsCode = 3;                  // 5..8 bits as 0..3
    int32_t stopBitsCode = 0;                  // 1 bit 0, 2 bits 4
    int32_t baudIndex = 0;                     // 0..19
    int32_t parityIndex = 0;                   // 0..4: None, Even, Odd, Mark, Space
    int32_t dataBitsIndex = 3;                 // 0..3: 5, 6, 7, 8
    int32_t stopBitsIndex = 0;                 // 0..1: 1, 2
    int32_t flowBits = 0;                      // 3 RTS/CTS, 0xC XON/XOFF, both or neither
    int32_t baudCode = 0;                      // given to SerialSetLine; equals the baud index
    int32_t modeBits = 3;                      // parity code | data-bits code | stop-bits code
    int32_t dtr = 1;
    int32_t rts = 1;
    bool operator==(const PortSettings&) const = default;
};

// Codes of the Enter key and of received CR and LF: 0 "CR-LF", 1 "CR", 2 "LF", 3 "No Changed".
struct TerminalSettings {
    int32_t terminalType = 0; // 0 ANSI, 1 VT100, 2 Dumb Terminal
    int32_t localEcho = 0;
    int32_t enterCode = 0;
    int32_t crCode = 3;
    int32_t lfCode = 3;
    bool operator==(const TerminalSettings&) const = default;
};

struct TransferSettings {
    std::array<char, PathFieldSize> receiveDirectory{}; // also the automatic download's folder
    std::array<char, PathFieldSize> transmitFolder{};   // start folder of the transmit dialog
    std::array<char, PathFieldSize> captureFileName{};
    int32_t zmodemAutoDownload = 0;
    bool operator==(const TransferSettings&) const = default;
};

// A port window's rectangle in the coordinates of the area that holds the port windows.
struct ChildPlacement {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t ownMaximised = 0;
    int32_t normalLeft = 0, normalTop = 0, normalRight = 0, normalBottom = 0;
    bool operator==(const ChildPlacement&) const = default;
};

struct Profile {
    PortSettings port;
    TerminalSettings terminal;
    TransferSettings transfer;
    ChildPlacement placement;
    bool operator==(const Profile&) const = default;
};

// The main window's placement; showCmd 1 normal, 2 minimised, 3 maximised.
struct WindowPlacement {
    uint32_t length = WindowPlacementSize;
    uint32_t flags = 0;
    uint32_t showCmd = 1;
    int32_t minX = -1, minY = -1;
    int32_t maxX = -1, maxY = -1;
    int32_t normalLeft = 0, normalTop = 0, normalRight = 0, normalBottom = 0;
    bool operator==(const WindowPlacement&) const = default;
};

struct OptionFileContents {
    std::vector<Profile> profiles;
    WindowPlacement mainWindow;
    bool operator==(const OptionFileContents&) const = default;
};

enum class OptionFileFault {
    None,
    BadMagic,
    BadVersion,
    BadCount,            // 0 or above 256
    ShortProfile,        // the file ends inside a profile
    BadPortSettings,     // a port field out of range
    BadTerminalSettings, // a terminal field out of range
    ShortPlacement,      // the file ends inside the main window's placement
};

struct OptionFileDecoding {
    OptionFileFault fault = OptionFileFault::None;
    uint32_t storedCount = 0;    // the count as stored; 0 when the header is wrong
    int badProfile = -1;         // the profile that failed, when one did
    OptionFileContents contents; // complete only when ok()
    bool ok() const { return fault == OptionFileFault::None; }
};

// Size of a file with the given number of profiles (bytes after it are never looked at).
constexpr size_t optionFileSize(size_t profiles) {
    return OptionFileHeaderSize + ProfileSize * profiles + WindowPlacementSize;
}
inline constexpr size_t MaxOptionFileSize = optionFileSize(MaxProfiles);

// Checks everything the reader checks and keeps the records. Text fields come out zero-terminated
// even when the file's are not.
OptionFileDecoding decodeOptionFile(std::span<const uint8_t> bytes);

// The file's bytes for 1..MaxProfiles profiles (the caller refuses other counts).
std::vector<uint8_t> encodeOptionFile(const OptionFileContents& contents);

// The checks of one stored record, as the reader makes them.
bool portSettingsValid(const PortSettings& port);
bool terminalSettingsValid(const TerminalSettings& terminal);

// The text of a zero-terminated field.
template <size_t N>
std::string fieldText(const std::array<char, N>& field) {
    size_t length = 0;
    while (length < N && field[length] != '\0') {
        ++length;
    }
    return std::string(field.data(), length);
}

// Stores text with its terminating zero, the rest zero-filled. False, and the field unchanged, when
// the text does not fit or holds a zero byte.
template <size_t N>
bool setFieldText(std::array<char, N>& field, std::string_view text) {
    if (text.size() >= N || text.find('\0') != std::string_view::npos) {
        return false;
    }
    field.fill('\0');
    text.copy(field.data(), text.size());
    return true;
}

// Message numbers of the option file, and their texts with %1 standing for the file's path.
enum OptionFileMessage : int {
    OptionFileOpenFail = 40,
    OptionFileCorrupted = 41,
    OptionFileReadFail = 51,
    OptionFileWriteFail = 52,
    OptionFileNothingToSave = 1001, // no port window: nothing is written
};
std::string_view optionFileMessageText(int message);

} // namespace terminal
