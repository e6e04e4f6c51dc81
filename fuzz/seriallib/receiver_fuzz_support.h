#pragma once
// What the receiver fuzzers share: the peer's bytes as a channel, and a receive folder that checks
// every file stays inside it.

#include "byte_channel.h"
#include "receive_folder.h"
#include "transfer_context.h"
#include "zmodem_session.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fuzzsupport {

// The peer's bytes as a line delivers them; what the receiver writes is swallowed. Once the input
// is used up the channel fails (the peer hung up), so that no run waits for a time-out.
//   Pieces: the input in small pieces of varying size.
//   Bursts: a series of bursts, each a two-byte length (high byte first) and that many bytes; after
//   each burst a read finds nothing, which with zero waits is a time-out.
class PeerChannel : public seriallib::ByteChannel {
public:
    enum Delivery { Pieces, Bursts };
    PeerChannel(const uint8_t* data, size_t size, Delivery delivery)
        : data_(data), size_(size), delivery_(delivery) {}
    int read(uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    int write(const uint8_t* buffer, size_t size, seriallib::Clock::time_point deadline) override;
    void purgeInput() override {}

private:
    int readPiece(uint8_t* buffer, size_t size);
    int readBurst(uint8_t* buffer, size_t size);

    const uint8_t* data_;
    size_t size_;
    Delivery delivery_;
    size_t pos_ = 0;
    size_t burstLeft_ = 0;
    bool silent_ = false; // the silence after a burst is still to be reported
};

// Every wait zero, so that a silence costs nothing; the retry counts as on a real line.
seriallib::TransferTimings zeroWaits();

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
