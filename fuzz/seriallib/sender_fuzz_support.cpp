#include "sender_fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzzsupport {

int ReplyChannel::read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) {
    const int n = peer_.read(buffer, size, deadline);
    if (n > 0)
        delivered_.insert(delivered_.end(), buffer, buffer + n);
    return n;
}

int ReplyChannel::write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point) {
    writes_.emplace_back(buffer, buffer + size);
    return int(size);
}

size_t ReplyChannel::count(uint8_t byte) const {
    return size_t(std::count(delivered_.begin(), delivered_.end(), byte));
}

std::string sourceFile(size_t size) {
    namespace fs = std::filesystem;
    static const std::string folder = [] {
        std::string tmpl = (fs::temp_directory_path() / "txfuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            std::abort();
        return tmpl;
    }();
    const std::string path = folder + "/data.bin";
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + 3);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

seriallib::TransferTimings senderWaits() {
    auto t = zeroWaits();
    t.leaveWait = seriallib::milliseconds(0);
    return t;
}

} // namespace fuzzsupport
