#include "uucp_lock.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comm::tty {

namespace {

constexpr const char* kDefaultDirectory = "/run/lock";

// A lock whose text names no PID may be one being written right now (another program's create
// and write are two steps); only an older one is taken for stale.
constexpr time_t kUnreadableGraceSeconds = 5;

enum class Holder { None, Live, Stale };

// The holder a lock file's open descriptor shows.
Holder judge(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return Holder::Live; // nothing we understand: never taken away
    char text[64];
    ssize_t n = ::pread(fd, text, sizeof text, 0);
    pid_t pid = n > 0 ? lockOwner(std::string_view(text, size_t(n))) : 0;
    if (pid <= 0)
        return std::time(nullptr) - st.st_mtime >= kUnreadableGraceSeconds ? Holder::Stale : Holder::Live;
    // EPERM: the process is there, only not ours to signal.
    return ::kill(pid, 0) != 0 && errno == ESRCH ? Holder::Stale : Holder::Live;
}

int openLockFile(const std::string& file) {
    return ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

Holder inspect(const std::string& file) {
    int fd = openLockFile(file);
    if (fd < 0)
        return errno == ENOENT ? Holder::None : Holder::Live;
    Holder holder = judge(fd);
    ::close(fd);
    return holder;
}

// Removes a stale lock. Two programs that find the same stale lock must not both remove "it": the
// second would remove the first one's fresh lock. The remover holds flock on the stale file and
// removes it only while the name still leads to that file and it is still stale.
// False with errno when the folder does not let it be removed.
bool removeStale(const std::string& file) {
    int fd = openLockFile(file);
    if (fd < 0)
        return true; // gone already
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat held {
    }, named{};
    bool ok = true;
    if (judge(fd) == Holder::Stale && ::fstat(fd, &held) == 0 && ::lstat(file.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        ok = ::unlink(file.c_str()) == 0 || errno == ENOENT;
    int saved = errno;
    ::close(fd);
    errno = saved;
    return ok;
}

bool writeAll(int fd, const std::string& text) {
    return ::write(fd, text.data(), text.size()) == ssize_t(text.size());
}

enum class Created { Yes, Exists, Unwritable };

// The lock appears whole: written under a name of its own, then linked to its name, which fails
// when a lock is there. Where links cannot be made, created with O_EXCL and written.
Created create(const std::string& file, int* err) {
    static std::atomic<unsigned> counter{0};
    const std::string text = [] {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%10d\n", int(::getpid()));
        return std::string(buffer);
    }();
    const std::string temp =
        lockDirectory() + "/LTMP." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    auto writeNew = [&](const std::string& path) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0444);
        if (fd < 0)
            return false;
        bool ok = ::fchmod(fd, 0444) == 0 && writeAll(fd, text);
        int saved = errno;
        ok = ::close(fd) == 0 && ok;
        if (!ok) {
            ::unlink(path.c_str());
            errno = saved;
        }
        return ok;
    };
    // The name carries our PID: one left by a crashed program of the same PID is nobody's.
    ::unlink(temp.c_str());
    if (!writeNew(temp)) {
        *err = errno;
        return Created::Unwritable;
    }
    int linked = ::link(temp.c_str(), file.c_str());
    int linkError = errno;
    ::unlink(temp.c_str());
    if (linked == 0)
        return Created::Yes;
    if (linkError == EEXIST)
        return Created::Exists;
    if (writeNew(file))
        return Created::Yes;
    *err = errno;
    return errno == EEXIST ? Created::Exists : Created::Unwritable;
}

void sayUnwritableOnce(int err) {
    static std::atomic<bool> said{false};
    if (said.exchange(true))
        return;
    std::fprintf(stderr,
                 "%s: cannot write serial port lock files (%s): other serial programs will not see the "
                 "ports this program holds\n",
                 lockDirectory().c_str(), std::strerror(err));
}

} // namespace

std::string lockDirectory() {
    if (const char* dir = std::getenv("BREL_LOCK_DIR"); dir && *dir)
        return dir;
    return kDefaultDirectory;
}

std::string lockFileFor(const std::string& devicePath) {
    char resolved[PATH_MAX];
    std::string real = ::realpath(devicePath.c_str(), resolved) ? std::string(resolved) : devicePath;
    return lockDirectory() + "/LCK.." + real.substr(real.rfind('/') + 1);
}

pid_t lockOwner(std::string_view text) {
    auto isAscii = [](char c) { return c == ' ' || c == '\n' || (c >= '0' && c <= '9'); };
    if (text.size() == 4 && !(isAscii(text[0]) && isAscii(text[1]) && isAscii(text[2]) && isAscii(text[3]))) {
        int32_t binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary > 0 ? pid_t(binary) : 0;
    }
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    int64_t pid = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        pid = pid * 10 + (text[i] - '0');
        if (pid > INT_MAX)
            return 0;
    }
    for (; i < text.size(); ++i)
        if (text[i] != ' ' && text[i] != '\n')
            return 0;
    return digits > 0 && pid > 0 ? pid_t(pid) : 0;
}

bool takeLock(const std::string& devicePath, std::string* lockFile) {
    lockFile->clear();
    const std::string file = lockFileFor(devicePath);
    for (int attempt = 0; attempt < 4; ++attempt) {
        switch (inspect(file)) {
        case Holder::Live:
            errno = EBUSY;
            return false;
        case Holder::Stale:
            if (!removeStale(file)) {
                // The owner is gone but the folder keeps its file: go on as without lock files.
                sayUnwritableOnce(errno);
                return true;
            }
            continue;
        case Holder::None:
            break;
        }
        int err = 0;
        switch (create(file, &err)) {
        case Created::Yes:
            *lockFile = file;
            return true;
        case Created::Exists:
            continue; // another program was quicker: look at its lock
        case Created::Unwritable:
            sayUnwritableOnce(err);
            return true;
        }
    }
    errno = EBUSY;
    return false;
}

void releaseLock(const std::string& lockFile) {
    if (lockFile.empty())
        return;
    int fd = openLockFile(lockFile);
    if (fd < 0)
        return;
    char text[64];
    ssize_t n = ::pread(fd, text, sizeof text, 0);
    ::close(fd);
    if (n > 0 && lockOwner(std::string_view(text, size_t(n))) == ::getpid())
        ::unlink(lockFile.c_str());
}

bool lockedByLiveProcess(const std::string& devicePath) {
    return inspect(lockFileFor(devicePath)) == Holder::Live;
}

} // namespace comm::tty
