#pragma once
// What the receiver fuzzers share: the peer's bytes as a channel, and a receive folder that checks
// every file stays inside it.

#include "byte_channel.h"
#include "receive_folder.h"
#include "zmodem_session.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fuzzsupport {

// Serves the input in small pieces, swallows what the receiver writes, and fails once the input
// is used up (the peer hung up), so that no run waits for a time-out.
class InputChannel : public seriallib::ByteChannel {
public:
    InputChannel(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    int write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    void purgeInput() override {}

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A scratch receive folder for the whole run; each input's files are checked and removed.
class CheckedFolder {
public:
    CheckedFolder();
    const seriallib::ReceiveFolder& folder() const { return *folder_; }
    // Aborts when anything was written outside the folder or under a name with a path in it; then
    // empties the folder for the next input.
    void checkAndClear(const seriallib::FolderFiles& files);

private:
    std::string parent_;
    std::string path_;
    std::unique_ptr<seriallib::ReceiveFolder> folder_;
};

CheckedFolder& sharedFolder();

} // namespace fuzzsupport
