#include "port_map.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace portmap {

namespace {

// "\\.\" and the shorter "\.\" that follows it in "\\.\\.\COM100".
constexpr std::string_view kPrefix = "\\\\.\\";
constexpr std::string_view kShortPrefix = "\\.\\";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// A map larger than this is no map a person wrote.
constexpr size_t kMaxMapSize = 1 << 20;

constexpr std::string_view kLinesKey = ";lines=";

// The port a trimmed map-file line is about ("COM3" in "COM3=/dev/x", also in "COM3 junk"), or 0.
int lineKey(std::string_view line) {
    return portNumber(line.substr(0, line.find_first_of("= \t")));
}

bool makeFolders(const std::string& file) {
    for (size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
        std::string folder = file.substr(0, pos);
        if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string_view stripDevicePrefix(std::string_view name) {
    for (;;) {
        if (name.substr(0, kPrefix.size()) == kPrefix)
            name.remove_prefix(kPrefix.size());
        else if (name.substr(0, kShortPrefix.size()) == kShortPrefix)
            name.remove_prefix(kShortPrefix.size());
        else
            return name;
    }
}

int portNumber(std::string_view name) {
    name = stripDevicePrefix(name);
    if (name.size() < 4 || name.size() > 6)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != "COM"[i])
            return 0;
    }
    std::string_view digits = name.substr(3);
    if (digits.front() == '0')
        return 0;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n >= kMinPort && n <= kMaxPort ? n : 0;
}

MapFileContents parseMapFile(std::string_view text) {
    MapFileContents result;
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        auto end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(lineNo) + ": \"" + std::string(line) + "\"";
        const int port = lineKey(line);
        if (port == 0) {
            result.warnings.push_back(where + " ignored (expected COMn=/device/path, n 1..256)");
            continue;
        }
        auto eq = line.find('=');
        std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : trim(line.substr(eq + 1));
        std::string_view device = value, lines;
        if (auto mark = value.find(kLinesKey); mark != std::string_view::npos) {
            device = trim(value.substr(0, mark));
            lines = trim(value.substr(mark + kLinesKey.size()));
        }
        const bool linesOk = device.size() == value.size() || (!lines.empty() && lines.front() == '/');
        if (device.empty() || device.front() != '/' || !linesOk) {
            MapEntry broken;
            broken.problem = where + " is not COMn=/device/path";
            result.warnings.push_back(broken.problem + ": COM" + std::to_string(port) + " will not open");
            result.entries[port] = std::move(broken);
            continue;
        }
        result.entries[port] = MapEntry{std::string(device), std::string(lines), {}};
    }
    return result;
}

bool readRegularFile(const std::string& path, std::string* text) {
    // Looked at before it is opened: opening a device could raise its lines, a FIFO could block.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto fail = [fd](int err) {
        ::close(fd);
        errno = err;
        return false;
    };
    if (::fstat(fd, &st) != 0)
        return fail(errno);
    if (!S_ISREG(st.st_mode))
        return fail(EINVAL); // replaced between the two looks
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            break;
        if (text->size() + size_t(n) > kMaxMapSize)
            return fail(EFBIG);
        text->append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

MapFileContents readMapFile(const std::string& mapFile) {
    std::string text;
    if (!readRegularFile(mapFile, &text)) {
        MapFileContents none;
        if (errno != ENOENT)
            none.unreadable = errno == EINVAL ? std::string("not a regular file") : std::strerror(errno);
        return none;
    }
    return parseMapFile(text);
}

std::string mapFilePath() {
    if (const char* explicitPath = std::getenv("BREL_PORT_MAP"); explicitPath && *explicitPath)
        return explicitPath;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return base + "/Brel/ports.conf";
}

std::string defaultDevicePath(int port) {
    if (port < kMinPort || port > kMaxPort)
        return {};
    return "/dev/ttyS" + std::to_string(port - 1);
}

PortMap::PortMap() {
    const std::string mapFile = mapFilePath();
    for (const auto& [port, device] : assignDevices(mapFile, systemDevices()))
        std::fprintf(stderr, "%s: COM%d is now %s\n", mapFile.c_str(), port, device.c_str());
    load(mapFile);
}

PortMap::PortMap(const std::string& mapFile) {
    load(mapFile);
}

PortMap::PortMap(const std::map<int, std::string>& devices) {
    for (const auto& [port, device] : devices)
        entries_[port].device = device;
}

void PortMap::load(const std::string& mapFile) {
    MapFileContents parsed = readMapFile(mapFile);
    if (!parsed.unreadable.empty())
        std::fprintf(stderr, "%s: cannot be read (%s): no COM port will open\n", mapFile.c_str(),
                     parsed.unreadable.c_str());
    for (const auto& warning : parsed.warnings)
        std::fprintf(stderr, "%s: %s\n", mapFile.c_str(), warning.c_str());
    entries_ = std::move(parsed.entries);
    unreadable_ = std::move(parsed.unreadable);
}

MapEntry PortMap::entry(int port) const {
    if (port < kMinPort || port > kMaxPort)
        return {};
    if (!unreadable_.empty())
        return MapEntry{{}, {}, "the map cannot be read (" + unreadable_ + ")"};
    if (auto it = entries_.find(port); it != entries_.end())
        return it->second;
    return MapEntry{defaultDevicePath(port), {}, {}};
}

std::string PortMap::devicePath(int port) const {
    return entry(port).device;
}

std::string PortMap::resolve(std::string_view name) const {
    int port = portNumber(name);
    return port ? devicePath(port) : std::string{};
}

namespace {

bool validPath(const std::string& path) {
    return !path.empty() && path.front() == '/' && path.find('\n') == std::string::npos &&
           path.find(kLinesKey) == std::string::npos && trim(path).size() == path.size();
}

// The map is replaced by a rename, so it cannot carry its own lock: a file beside it does, and is
// removed again by its holder. A writer that waited on a lock file that was removed meanwhile takes
// the lock anew on the file now under that name.
int lockMap(const std::string& lockFile) {
    for (;;) {
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0)
            return -1;
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(lockFile.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
}

// Removed while still held: nobody can lock the old file and believe it current.
void unlockMap(int fd, const std::string& lockFile) {
    ::unlink(lockFile.c_str());
    ::close(fd);
}

// Rewrites mapFile under its lock: edit gets the old text (empty when there is none) and returns
// the new one, or nothing to leave the file alone.
bool editMapFile(const std::string& mapFile,
                 const std::function<std::optional<std::string>(const std::string&)>& edit) {
    if (!makeFolders(mapFile))
        return false;
    const std::string lockFile = mapFile + ".lock";
    int lock = lockMap(lockFile);
    if (lock < 0)
        return false;
    std::string old;
    bool ok = readRegularFile(mapFile, &old) || errno == ENOENT;
    std::optional<std::string> text;
    if (ok)
        text = edit(old);
    std::string temp = mapFile + ".XXXXXX";
    int fd = ok && text ? ::mkstemp(temp.data()) : -1;
    if (fd >= 0) {
        ::fchmod(fd, 0644);
        ok = writeAll(fd, *text) && ::fsync(fd) == 0;
        int saved = errno;
        ok = ::close(fd) == 0 && ok;
        if (ok)
            ok = ::rename(temp.c_str(), mapFile.c_str()) == 0;
        else
            errno = saved;
        if (!ok) {
            saved = errno;
            ::unlink(temp.c_str());
            errno = saved;
        }
    } else if (text) {
        ok = false;
    }
    int saved = errno;
    unlockMap(lock, lockFile);
    errno = saved;
    return ok;
}

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool characterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// The devices present under the by-id folder, by path, in name order.
std::vector<std::string> byIdDevices(const DeviceTree& tree) {
    const std::string folder = tree.root + "/dev/serial/by-id";
    std::vector<std::string> found;
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return found;
    while (const dirent* e = ::readdir(d)) {
        std::string path = folder + "/" + e->d_name;
        if (e->d_name[0] != '.' && validPath(path) && tree.present(path))
            found.push_back(std::move(path));
    }
    ::closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

bool known(const MapFileContents& map, const std::string& device) {
    const std::string real = canonical(device);
    for (const auto& [port, entry] : map.entries)
        if (entry.device == device || (!real.empty() && canonical(entry.device) == real))
            return true;
    return false;
}

} // namespace

DeviceTree systemDevices() {
    return DeviceTree{{}, characterDevice};
}

std::map<int, std::string> assignDevices(const std::string& mapFile, const DeviceTree& tree) {
    std::map<int, std::string> added;
    std::vector<std::string> devices = byIdDevices(tree);
    auto unknown = [&](const MapFileContents& map) {
        std::vector<std::string> out;
        for (const auto& d : devices)
            if (!known(map, d))
                out.push_back(d);
        return out;
    };
    if (devices.empty() || unknown(readMapFile(mapFile)).empty())
        return added; // the usual case: nothing to write, no lock taken
    bool ok = editMapFile(mapFile, [&](const std::string& old) -> std::optional<std::string> {
        MapFileContents map = parseMapFile(old);
        std::string text = old;
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        int port = kMinPort;
        for (const auto& device : unknown(map)) {
            while (port <= kMaxPort &&
                   (map.entries.count(port) || tree.present(tree.root + defaultDevicePath(port))))
                ++port;
            if (port > kMaxPort)
                break;
            text += "COM" + std::to_string(port) + "=" + device + "\n";
            added[port++] = device;
        }
        if (added.empty())
            return std::nullopt;
        return text;
    });
    if (!ok)
        added.clear();
    return added;
}

bool writeEntry(const std::string& mapFile, int port, const std::string& devicePath,
                const std::string& linesFile) {
    if (port < kMinPort || port > kMaxPort || mapFile.empty() ||
        (!devicePath.empty() && !validPath(devicePath)) ||
        (!linesFile.empty() && (devicePath.empty() || !validPath(linesFile)))) {
        errno = EINVAL;
        return false;
    }
    const std::string entry = "COM" + std::to_string(port) + "=" + devicePath +
                              (linesFile.empty() ? std::string() : std::string(kLinesKey) + linesFile) + "\n";
    return editMapFile(mapFile, [&](const std::string& old) -> std::optional<std::string> {
        std::string text;
        bool written = false;
        std::string_view rest = old;
        while (!rest.empty()) {
            auto end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
            std::string_view body = trim(line);
            if (!body.empty() && body.front() != '#' && lineKey(body) == port) {
                if (!written && !devicePath.empty())
                    text += entry;
                written = true;
                continue;
            }
            text.append(line);
            text += '\n';
        }
        if (!written && !devicePath.empty())
            text += entry;
        return text;
    });
}

} // namespace portmap
