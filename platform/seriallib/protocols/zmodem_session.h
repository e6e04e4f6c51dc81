#pragma once
// ZMODEM sender and batch receiver over a byte channel.

#include "incoming_files.h"
#include "transfer_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace seriallib {

using wire::IncomingFiles;

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
