#include "termcap_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace terminal {

FileTermcapSource::FileTermcapSource(const std::string& path) {
    // Non-blocking, so that opening a FIFO with no writer returns at once and is then refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return;
    }
    file_ = ::fdopen(fd, "rb");
    if (!file_)
        ::close(fd);
}

FileTermcapSource::~FileTermcapSource() {
    if (file_)
        std::fclose(file_);
}

int FileTermcapSource::get() {
    const int c = std::getc(file_);
    if (c != EOF)
        return c;
    return std::ferror(file_) ? ReadError : EndOfFile;
}

} // namespace terminal
