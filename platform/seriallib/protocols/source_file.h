#pragma once
// A file being sent: opened once, read in order or at any offset. Reads go through a large buffer,
// so a protocol's small blocks cost no system call each. The size taken at the open is the size a sender
// announces: reads never give bytes past it, and a file that shrank under the sender (a log cut while it
// is sent) fails the read instead of looking like an early end.

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
    // Reads up to size bytes at offset; fewer only at the announced end; -1 on a read error or when the
    // file ended before its announced size (changed() is then true).
    long readAt(uint64_t offset, uint8_t* buffer, size_t size);
    // True when the file is no longer the one announced: a read found it shorter, or its size or
    // modification time now differ from those at the open. A sender asks before it claims the end.
    bool changed();

private:
    long readDirect(uint64_t offset, uint8_t* buffer, size_t size);

    std::vector<uint8_t> ahead_; // the file from aheadAt_, allocated at the first read
    uint64_t aheadAt_ = 0;
    size_t aheadLen_ = 0;
    int fd_ = -1;
    uint64_t size_ = 0;
    int64_t mtime_ = 0;
    int64_t mtimeNs_ = 0;
    bool shrank_ = false;
    std::string name_;
};

} // namespace seriallib
