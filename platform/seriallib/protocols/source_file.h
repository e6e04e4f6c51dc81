#pragma once
// A file being sent: opened once, read in order or at any offset. Reads go through a large buffer,
// so a protocol's small blocks cost no system call each.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace seriallib {

class SourceFile {
public:
    SourceFile() = default;
    ~SourceFile();
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // False when the path does not name a readable regular file.
    bool open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    // The last path component, as a sender announces it.
    const std::string& name() const { return name_; }
    int64_t modified() const { return mtime_; }
    // Reads up to size bytes at offset; fewer only at the end of the file; -1 on a read error.
    long readAt(uint64_t offset, uint8_t* buffer, size_t size);

private:
    long readDirect(uint64_t offset, uint8_t* buffer, size_t size);

    std::vector<uint8_t> ahead_; // the file from aheadAt_, allocated at the first read
    uint64_t aheadAt_ = 0;
    size_t aheadLen_ = 0;
    int fd_ = -1;
    uint64_t size_ = 0;
    int64_t mtime_ = 0;
    std::string name_;
};

} // namespace seriallib
