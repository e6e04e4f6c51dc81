#include "tty_device.h"

#include "port_map.h"
#include "shared_lines.h"
#include "uucp_lock.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace comm::tty {

namespace {

struct RateCode {
    uint32_t baud;
    speed_t code;
};
constexpr RateCode kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool rateCode(uint32_t baud, speed_t* code) {
    for (const auto& r : kRates)
        if (r.baud == baud) {
            *code = r.code;
            return true;
        }
    return false;
}

// Unix98 pty slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// A UART may give a rate close to the one asked for; what it reports within 2% is the rate asked.
bool sameRate(uint32_t wanted, uint32_t got) {
    uint64_t diff = wanted > got ? wanted - got : got - wanted;
    return diff * 50 <= wanted;
}

// The lock file each open descriptor holds, removed when it closes.
struct HeldLocks {
    std::mutex mutex;
    std::map<int, std::string> byFd;
};
HeldLocks& heldLocks() {
    static auto* locks = new HeldLocks; // never destroyed: ports may close during exit
    return *locks;
}

} // namespace

std::string devicePathFor(const std::string& name) {
    std::string_view bare = portmap::stripDevicePrefix(name);
    if (portmap::portNumber(bare) != 0) {
        // A port whose map line is malformed resolves to nothing (the map has said why on stderr).
        std::string path = portmap::PortMap().resolve(bare);
        if (path.empty())
            errno = ENOENT;
        return path;
    }
    if (!bare.empty() && bare.front() == '/')
        return std::string(bare);
    errno = ENOENT;
    return {};
}

std::string permissionHint(const std::string& path) {
    std::string text = path + ": permission denied";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return text;
    std::string name = std::to_string(st.st_gid);
    std::vector<char> buffer(4096);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        name = found->gr_name;
    return text + ": the user is not in the device's group \"" + name + "\" (sudo usermod -aG " + name +
           " $USER, then log in again)";
}

int openExclusive(const std::string& path) {
    // Only a character device is opened: anything else in its place (a FIFO would block) is no port.
    struct stat st {};
    const bool present = ::stat(path.c_str(), &st) == 0;
    if (present && !S_ISCHR(st.st_mode)) {
        errno = ENOTTY;
        return -1;
    }
    // The lock file comes first: a program that honours only it must never see the device open.
    std::string lockFile;
    if (present && !takeLock(path, &lockFile))
        return -1;
    auto fail = [&lockFile](int fd, int err) {
        if (fd >= 0)
            ::close(fd);
        releaseLock(lockFile);
        errno = err;
        return -1;
    };
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == EACCES)
            std::fprintf(stderr, "%s\n", permissionHint(path).c_str());
        return fail(-1, err);
    }
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || !::isatty(fd))
        return fail(fd, ENOTTY);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(fd, errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0)
        return fail(fd, errno);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        return fail(fd, err);
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        return fail(fd, err);
    }
    if (!lockFile.empty()) {
        HeldLocks& locks = heldLocks();
        std::lock_guard lock(locks.mutex);
        locks.byFd[fd] = std::move(lockFile);
    }
    return fd;
}

void closeExclusive(int fd) {
    if (fd < 0)
        return;
    std::string lockFile;
    {
        HeldLocks& locks = heldLocks();
        std::lock_guard lock(locks.mutex);
        if (auto it = locks.byFd.find(fd); it != locks.byFd.end()) {
            lockFile = std::move(it->second);
            locks.byFd.erase(it);
        }
    }
    dropSharedLinesOnClose(fd);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    // Only once the device is closed may a program that honours the lock file alone take it.
    releaseLock(lockFile);
}

bool isPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    unsigned m = major(st.st_rdev);
    return m >= kPtySlaveMajorFirst && m <= kPtySlaveMajorLast;
}

ApplyResult applyLineSettings(int fd, const TtyLineSettings& s, bool parityCheck) {
    if (s.dataBits < 5 || s.dataBits > 8 || s.parity > 4 || (s.stopBits != 1 && s.stopBits != 2) ||
        s.baud == 0) {
        errno = EINVAL;
        return ApplyResult::NotTaken;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return ApplyResult::Failed;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= kSizes[s.dataBits - 5] | CLOCAL | CREAD;
    switch (s.parity) {
    case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        t.c_cflag |= PARENB;
        break;
    case 3:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (s.rtsCts)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (s.xonXoff)
        t.c_iflag |= IXON | IXOFF;
    if (parityCheck && s.parity != 0)
        t.c_iflag |= INPCK;
    speed_t code;
    bool standard = rateCode(s.baud, &code);
    if (standard)
        ::cfsetspeed(&t, code);
    if (::tcsetattr(fd, TCSADRAIN, &t) != 0) {
        // The C library answers EINVAL when the driver took none of the changes. A pty never takes
        // data bits or parity, so there a change of only those is judged by the re-read below.
        if (errno != EINVAL || !isPseudoTerminal(fd))
            return ApplyResult::Failed;
    }
    if (!standard && !setCustomSpeed(fd, s.baud))
        return errno == EINVAL ? ApplyResult::NotTaken : ApplyResult::Failed;

    TtyLineSettings now;
    if (!readLineSettings(fd, &now))
        return ApplyResult::Failed;
    bool taken = sameRate(s.baud, now.baud) && now.stopBits == s.stopBits;
    if (!isPseudoTerminal(fd))
        taken = taken && now.dataBits == s.dataBits && now.parity == s.parity && now.rtsCts == s.rtsCts;
    return taken ? ApplyResult::Ok : ApplyResult::NotTaken;
}

bool readLineSettings(int fd, TtyLineSettings* s, bool* parityCheck) {
    termios t{};
    uint32_t baud = 0;
    if (::tcgetattr(fd, &t) != 0 || !getSpeed(fd, &baud))
        return false;
    s->baud = baud;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s->dataBits = 5;
        break;
    case CS6:
        s->dataBits = 6;
        break;
    case CS7:
        s->dataBits = 7;
        break;
    default:
        s->dataBits = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        s->parity = 0;
    else if (t.c_cflag & CMSPAR)
        s->parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        s->parity = (t.c_cflag & PARODD) ? 1 : 2;
    s->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s->rtsCts = (t.c_cflag & CRTSCTS) != 0;
    s->xonXoff = (t.c_iflag & (IXON | IXOFF)) != 0;
    if (parityCheck)
        *parityCheck = (t.c_iflag & INPCK) != 0;
    return true;
}

} // namespace comm::tty
