#pragma once
// COMn <-> device path, shared by both programs.
//
// A port is resolved through the map file first, then falls back to /dev/ttyS{n-1}. The map file
// holds lines "COM3=/dev/ttyUSB0"; blank lines and lines starting with '#' are ignored. Its path is
// $BREL_PORT_MAP when set, else $XDG_CONFIG_HOME/Brel/ports.conf (~/.config when unset).
//
// A line may end in ";lines=/path": the device is a pty whose far end (the simulated modem
// program) publishes its modem lines in that file (see comm's shared_lines.h).
//
// A malformed line that names a port (COM3=relative, COM3=) makes that port fail to open: it is
// never quietly sent to /dev/ttyS2, which may be another real device. A map that exists but cannot
// be read (not a regular file, no permission) makes every port fail. Only regular files are read,
// and never with an open that could block (a FIFO in the map's place must not hang a program).
//
// Serial devices under /dev/serial/by-id (USB, ACM) get COM numbers as a COM-name arbiter would
// give them: the lowest number that no map line names and whose /dev/ttyS{n-1} does not exist,
// recorded in the map by the by-id path so that the number survives re-plugging. Lines already in
// the map are never changed.

#include <functional>
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

struct MapEntry {
    std::string device;  // absolute path; empty when the port's line is malformed
    std::string lines;   // the shared line state named by ";lines=", or empty
    std::string problem; // why the port cannot open (the malformed line), or empty
    bool operator==(const MapEntry&) const = default;
};

struct MapFileContents {
    std::map<int, MapEntry> entries;   // port number -> entry; a later line wins
    std::vector<std::string> warnings; // one per malformed line, with its line number
    std::string unreadable;            // set when the file exists but could not be read: no port opens
};

// Parses the text of a map file. Never fails: malformed lines are skipped with a warning, and a
// malformed line that names a port leaves that port with a problem.
MapFileContents parseMapFile(std::string_view text);

// Reads and parses a map file; a missing file is an empty map. Prints nothing.
MapFileContents readMapFile(const std::string& mapFile);

// Where the map file is looked for now (environment read on every call).
std::string mapFilePath();

// The default device of a port when the map file does not name one.
std::string defaultDevicePath(int port);

// Where serial devices are looked for. root is put in front of "/dev/serial/by-id" and
// "/dev/ttyS{n}" (empty: the real /dev), so tests can lay out a fake tree in a folder.
struct DeviceTree {
    std::string root;
    // Whether a path names a device that is there; by default a character device (links followed).
    std::function<bool(const std::string& path)> present;
};
DeviceTree systemDevices();

// Gives every device under the tree's by-id folder that the map does not know yet a COM number and
// records it in mapFile (under the map's lock). Dangling links get none. Returns the new entries.
std::map<int, std::string> assignDevices(const std::string& mapFile, const DeviceTree& tree);

class PortMap {
public:
    // The user's map at mapFilePath(), with new serial devices assigned first. Warnings go to stderr.
    PortMap();
    // Reads the given map file only. Warnings go to stderr.
    explicit PortMap(const std::string& mapFile);
    // From device paths (tests).
    explicit PortMap(const std::map<int, std::string>& devices);

    // The device of port n (1..256); empty when n is out of range or the port cannot open.
    std::string devicePath(int port) const;
    // The device for "COMn" / "\\.\COMn"; empty when the name is no port name or cannot open.
    std::string resolve(std::string_view name) const;
    // The entry of port n: the map's, else the default device.
    MapEntry entry(int port) const;

private:
    void load(const std::string& mapFile);

    std::map<int, MapEntry> entries_;
    std::string unreadable_;
};

// Points COMn at devicePath in mapFile, replacing an existing COMn line or appending one; an empty
// devicePath removes the entry. linesFile, when given, is added as ";lines=". Other lines are kept
// as they are. Written to a temporary file and renamed over the old one, under an advisory lock (a
// "<map>.lock" file beside it, removed again when the write is done) so that concurrent writers do
// not lose entries. The folder is created when missing. Returns false with errno set on failure.
bool writeEntry(const std::string& mapFile, int port, const std::string& devicePath,
                const std::string& linesFile = {});

// Reads a regular file whole, opened so that a FIFO or device in its place cannot block. False with
// errno (EINVAL for anything but a regular file, ENOENT when missing) on failure.
bool readRegularFile(const std::string& path, std::string* text);

} // namespace portmap
