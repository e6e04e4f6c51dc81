#include "shared_lines.h"

#include "port_map.h"
#include "tty_device.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comm {

namespace {

constexpr char kMagic[4] = {'M', 'L', 'N', '1'};
constexpr off_t kModemByte = 4;
constexpr off_t kProgramByte = 5;
constexpr size_t kSize = 8;

// Line bits in the file <-> TIOCM_* bits.
constexpr std::array<std::pair<int, int>, 4> kModemBits{
    {{1, TIOCM_CTS}, {2, TIOCM_DSR}, {4, TIOCM_CAR}, {8, TIOCM_RNG}}};
constexpr std::array<std::pair<int, int>, 2> kProgramBits{{{1, TIOCM_DTR}, {2, TIOCM_RTS}}};

template <size_t N>
unsigned char toFile(int tiocm, const std::array<std::pair<int, int>, N>& bits) {
    int b = 0;
    for (const auto& [file, line] : bits)
        if (tiocm & line)
            b |= file;
    return static_cast<unsigned char>(b);
}

template <size_t N>
int fromFile(unsigned char b, const std::array<std::pair<int, int>, N>& bits) {
    int tiocm = 0;
    for (const auto& [file, line] : bits)
        if (b & file)
            tiocm |= line;
    return tiocm;
}

// Opened without blocking and only when it is a regular file: the name comes from the map.
int openFile(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool readAll(const std::string& path, unsigned char (&bytes)[kSize]) {
    int fd = openFile(path, O_RDONLY);
    if (fd < 0)
        return false;
    ssize_t n = ::pread(fd, bytes, kSize, 0);
    ::close(fd);
    if (n != static_cast<ssize_t>(kSize) || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        errno = EINVAL;
        return false;
    }
    return true;
}

bool writeByte(const std::string& path, off_t offset, unsigned char value) {
    unsigned char bytes[kSize];
    if (!readAll(path, bytes))
        return false;
    int fd = openFile(path, O_WRONLY);
    if (fd < 0)
        return false;
    bool ok = ::pwrite(fd, &value, 1, offset) == 1;
    int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

class SharedLineControl : public LineControl {
public:
    explicit SharedLineControl(std::string path) : path_(std::move(path)) {}

    bool getLines(int fd, int* bits) override {
        int modem = 0, program = 0;
        if (!tty::isPseudoTerminal(fd) || !readSharedLines(path_, &modem, &program))
            return ioctlLineControl()->getLines(fd, bits);
        *bits = modem | program;
        return true;
    }
    bool setLines(int fd, int raise, int drop) override {
        int modem = 0, program = 0;
        if (!tty::isPseudoTerminal(fd) || !readSharedLines(path_, &modem, &program))
            return ioctlLineControl()->setLines(fd, raise, drop);
        return writeProgramLines(path_, (program | raise) & ~drop);
    }

private:
    const std::string path_;
};

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

} // namespace

bool createSharedLines(const std::string& path, int modemLines) {
    int fd = openFile(path, O_RDWR | O_CREAT);
    if (fd < 0)
        return false;
    unsigned char bytes[kSize] = {};
    std::memcpy(bytes, kMagic, sizeof kMagic);
    bytes[kModemByte] = toFile(modemLines, kModemBits);
    bool ok = ::pwrite(fd, bytes, kSize, 0) == static_cast<ssize_t>(kSize) && ::ftruncate(fd, kSize) == 0;
    int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

bool readSharedLines(const std::string& path, int* modemLines, int* programLines) {
    unsigned char bytes[kSize];
    if (!readAll(path, bytes))
        return false;
    *modemLines = fromFile(bytes[kModemByte], kModemBits);
    *programLines = fromFile(bytes[kProgramByte], kProgramBits);
    return true;
}

bool writeModemLines(const std::string& path, int modemLines) {
    return writeByte(path, kModemByte, toFile(modemLines, kModemBits));
}

bool writeProgramLines(const std::string& path, int programLines) {
    return writeByte(path, kProgramByte, toFile(programLines, kProgramBits));
}

std::shared_ptr<LineControl> sharedLineControl(const std::string& path) {
    return std::make_shared<SharedLineControl>(path);
}

void dropSharedLinesOnClose(int fd) {
    char name[64];
    if (!tty::isPseudoTerminal(fd) || ::ttyname_r(fd, name, sizeof name) != 0)
        return;
    if (std::string file = sharedLinesFileFor(name); !file.empty())
        writeProgramLines(file, 0);
}

std::string sharedLinesFileFor(const std::string& devicePath) {
    struct Cache {
        std::string mapFile;
        struct stat seen {};
        std::map<std::string, std::string> files; // canonical device -> lines file
    };
    static std::mutex mutex;
    static Cache* cache = new Cache; // never destroyed: monitor threads may ask while the program exits

    const std::string mapFile = portmap::mapFilePath();
    struct stat st {};
    if (::stat(mapFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::lock_guard lock(mutex);
    if (cache->mapFile != mapFile || cache->seen.st_ino != st.st_ino || cache->seen.st_dev != st.st_dev ||
        cache->seen.st_size != st.st_size || cache->seen.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        cache->seen.st_mtim.tv_nsec != st.st_mtim.tv_nsec) {
        cache->files.clear();
        for (const auto& [port, entry] : portmap::readMapFile(mapFile).entries)
            if (!entry.lines.empty())
                cache->files[canonical(entry.device)] = entry.lines;
        cache->mapFile = mapFile;
        cache->seen = st;
    }
    auto it = cache->files.find(canonical(devicePath));
    return it == cache->files.end() ? std::string() : it->second;
}

} // namespace comm
