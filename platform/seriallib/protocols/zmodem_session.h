#pragma once
// ZMODEM sender and batch receiver over a byte channel.

#include "receive_folder.h"
#include "transfer_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace seriallib {

// Where a batch receive puts its files. One file is open at a time.
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

// IncomingFiles in a receive folder: each file has no name until it is complete. Data is gathered
// into large writes.
class FolderFiles : public IncomingFiles {
public:
    explicit FolderFiles(const ReceiveFolder& folder) : folder_(folder) {}
    ~FolderFiles() override { current_.discard(); }
    std::string begin(const std::string& senderName, uint64_t size, int64_t mtime) override;
    bool write(const uint8_t* data, size_t size) override;
    bool finish() override;
    void abandon() override;
    // Full paths of the files completed so far.
    const std::vector<std::string>& completed() const { return completed_; }

private:
    const ReceiveFolder& folder_;
    bool flush();

    IncomingFile current_;
    std::vector<uint8_t> pending_;
    std::vector<std::string> completed_;
};

struct ZmodemOptions {
    size_t blockSize = 1024;    // data subpacket size we send
    uint16_t receiveBuffer = 0; // our receiver's buffer (0: the sender may stream)
    bool escapeAll = false;     // our receiver asks for every control byte escaped
};

// Sends the files in turn, then ends the session. 0 on success, else a TransferError code.
int zmodemSend(TransferContext& ctx, const std::vector<std::string>& paths,
               const ZmodemOptions& options = {});

// Receives a batch into files. Starts by offering ZRINIT, so it also serves a sender whose
// ZRQINIT somebody else has consumed. Returns the number of files received, or a TransferError code.
int zmodemReceive(TransferContext& ctx, IncomingFiles& files, const ZmodemOptions& options = {});

} // namespace seriallib
