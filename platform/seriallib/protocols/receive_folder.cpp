#include "receive_folder.h"

#include "received_name_report.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace seriallib {
namespace {

// Longest name kept from the sender: leaves room for " (9999)" and the folder's own limit of 255.
constexpr size_t kMaxName = 200;

// Where to cut s to at most max bytes without splitting a UTF-8 sequence; other bytes are cut
// where they stand.
size_t cutPoint(std::string_view s, size_t max) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    if (s.size() <= max)
        return s.size();
    size_t start = max;
    while (start > 0 && max - start < 3 && (byte(start) & 0xC0) == 0x80)
        --start;
    return start < max && (byte(start) & 0xC0) == 0xC0 ? start : max;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && path.front() == '/' && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

// "name (n).ext" for the n-th alternative; n = 0 is the name itself.
std::string alternative(const std::string& name, int n) {
    if (n == 0)
        return name;
    auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name + " (" + std::to_string(n) + ")";
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

// Moves from to to, failing with EEXIST when to exists.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without the flag: a hard link fails the same way when the name is taken.
    if (::link(from.c_str(), to.c_str()) != 0)
        return -1;
    ::unlink(from.c_str());
    return 0;
}

} // namespace

std::string sanitiseReceivedName(std::string_view raw) {
    if (auto nul = raw.find('\0'); nul != std::string_view::npos)
        raw = raw.substr(0, nul);
    if (auto sep = raw.find_last_of("/\\"); sep != std::string_view::npos)
        raw = raw.substr(sep + 1);
    std::string name(raw.substr(0, cutPoint(raw, kMaxName)));
    for (char& c : name) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        return "received";
    return name;
}

IncomingFile::~IncomingFile() {
    discard();
}

IncomingFile::IncomingFile(IncomingFile&& other) noexcept {
    *this = std::move(other);
}

IncomingFile& IncomingFile::operator=(IncomingFile&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        folder_ = std::move(other.folder_);
        name_ = std::move(other.name_);
        temp_ = std::move(other.temp_);
        size_ = other.size_;
        replace_ = other.replace_;
    }
    return *this;
}

namespace {

// Named temporary files, where a file system cannot hold an unnamed one, are ".<pid>-<n>.part".
std::string tempName() {
    static std::atomic<unsigned> counter{0};
    return "." + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".part";
}

// The process that made a temporary file of ours, or 0 when the name is not one of ours.
pid_t tempOwner(const char* name) {
    if (name[0] != '.')
        return 0;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(name + 1, &end, 10);
    if (errno != 0 || end == name + 1 || pid <= 0 || *end != '-' || !std::isdigit(uint8_t(end[1])))
        return 0;
    std::strtoul(end + 1, &end, 10);
    return std::string_view(end) == ".part" ? pid_t(pid) : 0;
}

// Removes the temporary files that a process of ours left when it was killed. Those of living
// processes (and of processes we may not ask about) stay; so does anything not named as ours.
void clearStaleTemps(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir)) {
        const pid_t owner = tempOwner(e->d_name);
        if (owner == 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

// Gives a file opened with O_TMPFILE a name; fails with EEXIST when the name is taken.
int nameUnnamed(int fd, const std::string& to) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
        return -1;
    return ::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH);
}

} // namespace

IncomingFile IncomingFile::create(const std::string& folder, const std::string& name, bool replace) {
    clearStaleTemps(folder);
    IncomingFile file;
    file.folder_ = folder;
    file.name_ = name;
    file.replace_ = replace;
    // Without a name until it is complete, the file cannot outlive us if we are killed.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file.fd_ = fd;
        return file;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = join(folder, tempName());
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            file.fd_ = fd;
            file.temp_ = temp;
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    return {};
}

IncomingFile IncomingFile::forPath(const std::string& path) {
    auto slash = path.rfind('/');
    if (path.empty() || path.front() != '/' || slash == std::string::npos || slash + 1 == path.size())
        return {};
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    if (!isDirectory(folder))
        return {};
    return create(folder, path.substr(slash + 1), true);
}

bool IncomingFile::write(const uint8_t* data, size_t size) {
    if (fd_ < 0)
        return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    size_ += size;
    return true;
}

std::string IncomingFile::commit() {
    if (fd_ < 0)
        return {};
    if (::fsync(fd_) != 0 && errno != EINVAL) {
        discard();
        return {};
    }
    std::string target;
    if (temp_.empty()) {
        // An unnamed file gets its name directly, or (to replace a file) a temporary one first.
        for (int n = 0; target.empty() && n < 10000; ++n) {
            const std::string name = join(folder_, replace_ ? tempName() : alternative(name_, n));
            if (nameUnnamed(fd_, name) == 0)
                target = name;
            else if (errno != EEXIST)
                break;
        }
        if (replace_ && !target.empty()) {
            temp_ = std::exchange(target, {});
            if (::rename(temp_.c_str(), join(folder_, name_).c_str()) == 0)
                target = join(folder_, name_);
            else
                ::unlink(temp_.c_str());
        }
        ::close(std::exchange(fd_, -1));
        return target;
    }
    if (::close(std::exchange(fd_, -1)) != 0) {
        ::unlink(temp_.c_str());
        return {};
    }
    if (replace_) {
        target = join(folder_, name_);
        if (::rename(temp_.c_str(), target.c_str()) == 0)
            return target;
    } else {
        for (int n = 0; n < 10000; ++n) {
            target = join(folder_, alternative(name_, n));
            if (renameNoReplace(temp_, target) == 0)
                return target;
            if (errno != EEXIST)
                break;
        }
    }
    ::unlink(temp_.c_str());
    return {};
}

void IncomingFile::discard() {
    if (fd_ < 0)
        return;
    ::close(std::exchange(fd_, -1));
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

ReceiveFolder::ReceiveFolder(std::string folder) : folder_(std::move(folder)) {}

bool ReceiveFolder::valid() const {
    return isDirectory(folder_);
}

IncomingFile ReceiveFolder::begin(std::string_view senderName) const {
    if (!valid())
        return {};
    IncomingFile file = IncomingFile::create(folder_, sanitiseReceivedName(senderName), false);
    if (file.valid())
        reportReceivedName(file.name());
    return file;
}

namespace {
constexpr size_t kFileWrite = 256 * 1024; // received data gathered before a write to the file
} // namespace

std::string FolderFiles::begin(const std::string& senderName, uint64_t, int64_t) {
    abandon();
    current_ = folder_.begin(senderName);
    return current_.valid() ? current_.name() : std::string();
}

bool FolderFiles::write(const uint8_t* data, size_t size) {
    if (!current_.valid())
        return false;
    pending_.insert(pending_.end(), data, data + size);
    return pending_.size() < kFileWrite || flush();
}

bool FolderFiles::flush() {
    const bool ok = current_.write(pending_.data(), pending_.size());
    pending_.clear();
    return ok;
}

void FolderFiles::abandon() {
    pending_.clear();
    current_.discard();
}

bool FolderFiles::finish() {
    if (!flush()) {
        abandon();
        return false;
    }
    const std::string path = current_.commit();
    if (path.empty())
        return false;
    completed_.push_back(path);
    return true;
}

} // namespace seriallib
