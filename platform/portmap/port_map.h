#pragma once
// COMn <-> device path, shared by both programs.
//
// A port is resolved through the map file first, then falls back to /dev/ttyS{n-1}. The map file
// holds lines "COM3=/dev/ttyUSB0"; blank lines and lines starting with '#' are ignored. Its path is
// $BREL_PORT_MAP when set, else $XDG_CONFIG_HOME/Brel/ports.conf (~/.config when unset).

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace portmap {

constexpr int kMinPort = 1;
constexpr int kMaxPort = 256;

// Removes any number of leading "\\.\" device-namespace prefixes, also in the seven-character form
// "\\.\\.\" ("\\.\\.\COM100").
std::string_view stripDevicePrefix(std::string_view name);

// The number of "COMn" (prefixes allowed, COM in any case), or 0 when name is no port name in 1..256.
int portNumber(std::string_view name);

struct MapFileContents {
    std::map<int, std::string> entries; // port number -> device path; a later line wins
    std::vector<std::string> warnings;  // one line per malformed line, with its line number
};

// Parses the text of a map file. Never fails: malformed lines are skipped with a warning.
MapFileContents parseMapFile(std::string_view text);

// Where the map file is looked for now (environment read on every call).
std::string mapFilePath();

// The default device of a port when the map file does not name one.
std::string defaultDevicePath(int port);

class PortMap {
public:
    // Reads the map file at mapFilePath(); a missing file is an empty map. Warnings go to stderr.
    PortMap();
    // Reads the given map file.
    explicit PortMap(const std::string& mapFile);
    // From parsed entries (tests).
    explicit PortMap(std::map<int, std::string> entries);

    // The device of port n (1..256); empty when n is out of range.
    std::string devicePath(int port) const;
    // The device for "COMn" / "\\.\COMn"; empty when the name is no port name.
    std::string resolve(std::string_view name) const;

private:
    std::map<int, std::string> entries_;
};

// Points COMn at devicePath in mapFile, replacing an existing COMn line or appending one; an empty
// devicePath removes the entry. Other lines are kept as they are. Written to a temporary file and
// renamed over the old one, under an advisory lock so that concurrent writers do not lose entries.
// The folder is created when missing. Returns false with errno set on failure.
bool writeEntry(const std::string& mapFile, int port, const std::string& devicePath);

} // namespace portmap
