#pragma once
// Where a batch receive puts its files: the protocols write through this, whatever stores them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace wire {

// One file is open at a time.
class IncomingFiles {
public:
    virtual ~IncomingFiles() = default;
    // Opens a file for the name the sender gave; returns the stored name, empty when it cannot.
    virtual std::string begin(const std::string& senderName, uint64_t size, int64_t mtime) = 0;
    virtual bool write(const uint8_t* data, size_t size) = 0;
    // The file arrived whole.
    virtual bool finish() = 0;
    // The transfer broke off: the file is not complete.
    virtual void abandon() = 0;
};

} // namespace wire
