#include "receiver_fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fuzzsupport {

namespace fs = std::filesystem;

int PeerChannel::read(uint8_t* buffer, size_t size, seriallib::Clock::time_point) {
    return delivery_ == Pieces ? readPiece(buffer, size) : readBurst(buffer, size);
}

int PeerChannel::readPiece(uint8_t* buffer, size_t size) {
    if (pos_ >= size_)
        return -1;
    // The first byte of a piece sets its size.
    const size_t piece = 1 + (data_[pos_] % 61);
    const size_t n = std::min({size, piece, size_ - pos_});
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return int(n);
}

int PeerChannel::readBurst(uint8_t* buffer, size_t size) {
    if (burstLeft_ == 0) {
        if (silent_) {
            silent_ = false;
            return 0;
        }
        if (size_ - pos_ < 2)
            return -1;
        burstLeft_ = size_t(data_[pos_]) << 8 | data_[pos_ + 1];
        pos_ += 2;
        if (burstLeft_ == 0)
            return 0; // an empty burst: one silence
        silent_ = true;
    }
    const size_t n = std::min({size, burstLeft_, size_ - pos_});
    if (n == 0)
        return -1; // the input ends inside a burst
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    burstLeft_ -= n;
    return int(n);
}

int PeerChannel::write(const uint8_t*, size_t size, seriallib::Clock::time_point) {
    return int(size);
}

seriallib::TransferTimings zeroWaits() {
    seriallib::TransferTimings t;
    t.startWait = t.startInterval = t.responseWait = t.byteGap = t.blockWait = t.quiet = t.writeStall =
        seriallib::milliseconds(0);
    return t;
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
