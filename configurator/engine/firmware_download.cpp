#include "firmware_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

constexpr std::int64_t kHeaderSize = 128;
constexpr std::size_t kBlock = 1024;
constexpr int kNames = 100;

bool writableFolder(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Runs op(done) until size bytes are done; false on an error or an early end.
template <typename Op>
bool whole(std::size_t size, Op op) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = op(done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

bool readAll(int fd, char* buffer, std::size_t size) {
    return whole(size, [&](std::size_t done) { return ::read(fd, buffer + done, size - done); });
}

bool writeAll(int fd, const char* buffer, std::size_t size) {
    return whole(size, [&](std::size_t done) { return ::write(fd, buffer + done, size - done); });
}

// Copies the complemented payload; true when every byte was read and written, with its sum.
bool complementPayload(int in, int out, std::int64_t remaining, std::uint32_t& sum) {
    std::vector<char> header(kHeaderSize);
    if (!readAll(in, header.data(), header.size()))
        return false;
    std::vector<char> block(kBlock);
    while (remaining > 0) {
        const std::size_t n = std::size_t(std::min<std::int64_t>(remaining, std::int64_t(kBlock)));
        // Only bytes really read are written: an image that shrank since its check fails here.
        if (!readAll(in, block.data(), n))
            return false;
        for (std::size_t i = 0; i < n; ++i) {
            block[i] = char(~static_cast<unsigned char>(block[i]));
            sum += static_cast<unsigned char>(block[i]);
        }
        if (!writeAll(out, block.data(), n))
            return false;
        remaining -= std::int64_t(n);
    }
    return true;
}

} // namespace

int WriteDownloadFile(const std::string& imagePath, std::int64_t imageSize, std::uint32_t checksum,
                      const std::string& folder, std::string& path) {
    path.clear();
    if (!writableFolder(folder))
        return -4;
    if (!exists(imagePath))
        return -1;
    for (int n = 0; n < kNames; ++n) {
        const std::string name = folder + "/" + std::to_string(n) + ".dwl";
        if (exists(name))
            continue;
        const int in = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return -3;
        // Exclusive: a file that appeared since the look is never overwritten.
        const int out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (out < 0) {
            ::close(in);
            return -3;
        }
        std::uint32_t sum = 0;
        const bool copied = complementPayload(in, out, imageSize - kHeaderSize, sum);
        ::close(in);
        const bool closed = ::close(out) == 0;
        if (!copied || !closed || sum != checksum) {
            ::unlink(name.c_str());
            return -3;
        }
        path = name;
        return 1;
    }
    return -2;
}
