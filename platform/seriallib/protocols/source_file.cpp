#include "source_file.h"

#include <cerrno>
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
    auto slash = path.rfind('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

long SourceFile::readAt(uint64_t offset, uint8_t* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<long>(done);
}

} // namespace seriallib
