#include "receiver_fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fuzzsupport {

namespace fs = std::filesystem;

int InputChannel::read(uint8_t* buffer, size_t size, seriallib::Clock::time_point) {
    if (pos_ >= size_)
        return -1;
    // Pieces of varying size, as a line delivers them.
    const size_t piece = 1 + (data_[pos_] % 61);
    const size_t n = std::min({size, piece, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return int(n);
}

int InputChannel::write(const uint8_t*, size_t size, seriallib::Clock::time_point) {
    return int(size);
}

CheckedFolder::CheckedFolder() {
    std::string tmpl = (fs::temp_directory_path() / "rxfuzz-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        std::abort();
    parent_ = tmpl;
    path_ = parent_ + "/in";
    fs::create_directory(path_);
    folder_ = std::make_unique<seriallib::ReceiveFolder>(path_);
}

void CheckedFolder::checkAndClear(const seriallib::FolderFiles& files) {
    for (const auto& done : files.completed()) {
        if (fs::path(done).parent_path() != fs::path(path_)) {
            std::fprintf(stderr, "file outside the receive folder: %s\n", done.c_str());
            std::abort();
        }
    }
    for (const auto& e : fs::directory_iterator(parent_)) {
        if (e.path() != fs::path(path_)) {
            std::fprintf(stderr, "written beside the receive folder: %s\n", e.path().c_str());
            std::abort();
        }
    }
    for (const auto& e : fs::directory_iterator(path_)) {
        if (!e.is_regular_file()) {
            std::fprintf(stderr, "not a plain file: %s\n", e.path().c_str());
            std::abort();
        }
        fs::remove(e.path());
    }
}

CheckedFolder& sharedFolder() {
    static CheckedFolder folder;
    return folder;
}

} // namespace fuzzsupport
