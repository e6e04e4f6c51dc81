#include "receive_folder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

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

IncomingFile IncomingFile::create(const std::string& folder, const std::string& name, bool replace) {
    static std::atomic<unsigned> counter{0};
    IncomingFile file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = join(folder, "." + std::to_string(::getpid()) + "-" +
                                            std::to_string(counter.fetch_add(1)) + ".part");
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            file.fd_ = fd;
            file.folder_ = folder;
            file.name_ = name;
            file.temp_ = temp;
            file.replace_ = replace;
            return file;
        }
        if (errno != EEXIST)
            break;
    }
    return file;
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
    bool ok = ::fsync(fd_) == 0 || errno == EINVAL;
    ok = ::close(std::exchange(fd_, -1)) == 0 && ok;
    if (!ok) {
        ::unlink(temp_.c_str());
        return {};
    }
    if (replace_) {
        std::string target = join(folder_, name_);
        if (::rename(temp_.c_str(), target.c_str()) == 0)
            return target;
    } else {
        for (int n = 0; n < 10000; ++n) {
            std::string target = join(folder_, alternative(name_, n));
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
    ::unlink(temp_.c_str());
}

ReceiveFolder::ReceiveFolder(std::string folder) : folder_(std::move(folder)) {}

bool ReceiveFolder::valid() const {
    return isDirectory(folder_);
}

IncomingFile ReceiveFolder::begin(std::string_view senderName) const {
    if (!valid())
        return {};
    return IncomingFile::create(folder_, sanitiseReceivedName(senderName), false);
}

} // namespace seriallib
