#include "source_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace seriallib {

SourceFile::~SourceFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool SourceFile::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    size_ = static_cast<uint64_t>(st.st_size);
    mtime_ = static_cast<int64_t>(st.st_mtime);
    mtimeNs_ = static_cast<int64_t>(st.st_mtim.tv_nsec);
    shrank_ = false;
    aheadLen_ = 0;
    auto slash = path.rfind('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

namespace {
constexpr size_t kReadAhead = 128 * 1024;
} // namespace

long SourceFile::readAt(uint64_t offset, uint8_t* buffer, size_t size) {
    if (offset >= size_)
        return 0;
    size = size_t(std::min<uint64_t>(size, size_ - offset));
    if (size >= kReadAhead)
        return readDirect(offset, buffer, size);
    if (offset < aheadAt_ || offset + size > aheadAt_ + aheadLen_) {
        ahead_.resize(size_t(std::min<uint64_t>(kReadAhead, size_ - offset)));
        const long n = readDirect(offset, ahead_.data(), ahead_.size());
        if (n < 0)
            return -1;
        aheadAt_ = offset;
        aheadLen_ = size_t(n);
    }
    std::memcpy(buffer, ahead_.data() + (offset - aheadAt_), size);
    return long(size);
}

bool SourceFile::changed() {
    if (shrank_)
        return true;
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return true;
    return static_cast<uint64_t>(st.st_size) != size_ || static_cast<int64_t>(st.st_mtime) != mtime_ ||
           static_cast<int64_t>(st.st_mtim.tv_nsec) != mtimeNs_;
}

long SourceFile::readDirect(uint64_t offset, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0) {
            // Callers never ask past the announced size: an end before it means the file shrank.
            shrank_ = true;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<long>(done);
}

} // namespace seriallib
