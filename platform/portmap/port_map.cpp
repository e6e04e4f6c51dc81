#include "port_map.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

bool readWholeFile(const std::string& path, std::string* text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text->append(buffer, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// The key of a map-file line ("COM3" in "COM3=/dev/x"), or 0 when the line names no port.
int lineKey(std::string_view line) {
    auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return 0;
    return portNumber(trim(line.substr(0, eq)));
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
        auto eq = line.find('=');
        int port = lineKey(line);
        std::string_view path = eq == std::string_view::npos ? std::string_view{} : trim(line.substr(eq + 1));
        if (port == 0 || path.empty() || path.front() != '/') {
            result.warnings.push_back("line " + std::to_string(lineNo) + ": ignored \"" + std::string(line) +
                                      "\" (expected COMn=/device/path, n 1..256)");
            continue;
        }
        result.entries[port] = std::string(path);
    }
    return result;
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

PortMap::PortMap() : PortMap(mapFilePath()) {}

PortMap::PortMap(const std::string& mapFile) {
    std::string text;
    if (!readWholeFile(mapFile, &text))
        return;
    MapFileContents parsed = parseMapFile(text);
    for (const auto& warning : parsed.warnings)
        std::fprintf(stderr, "%s: %s\n", mapFile.c_str(), warning.c_str());
    entries_ = std::move(parsed.entries);
}

PortMap::PortMap(std::map<int, std::string> entries) : entries_(std::move(entries)) {}

std::string PortMap::devicePath(int port) const {
    if (auto it = entries_.find(port); it != entries_.end())
        return it->second;
    return defaultDevicePath(port);
}

std::string PortMap::resolve(std::string_view name) const {
    int port = portNumber(name);
    return port ? devicePath(port) : std::string{};
}

bool writeEntry(const std::string& mapFile, int port, const std::string& devicePath) {
    if (port < kMinPort || port > kMaxPort || mapFile.empty() ||
        (!devicePath.empty() && (devicePath.front() != '/' || devicePath.find('\n') != std::string::npos))) {
        errno = EINVAL;
        return false;
    }
    if (!makeFolders(mapFile))
        return false;

    int lock = ::open((mapFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0)
        return false;
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }

    std::string old;
    bool ok = readWholeFile(mapFile, &old) || errno == ENOENT;
    std::string text;
    bool written = false;
    const std::string entry = "COM" + std::to_string(port) + "=" + devicePath + "\n";
    std::string_view rest = old;
    while (ok && !rest.empty()) {
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

    std::string temp = mapFile + ".XXXXXX";
    int fd = ok ? ::mkstemp(temp.data()) : -1;
    if (fd >= 0) {
        ::fchmod(fd, 0644);
        ok = writeAll(fd, text) && ::fsync(fd) == 0;
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
    } else {
        ok = false;
    }
    int saved = errno;
    ::close(lock);
    errno = saved;
    return ok;
}

} // namespace portmap
