#pragma once
// Kermit sender and batch receiver (sliding windows and long packets when both sides offer them).

#include "transfer_context.h"
#include "zmodem_session.h" // IncomingFiles, FolderFiles

#include <string>
#include <vector>

namespace seriallib {

struct KermitOptions {
    // The line has parity: only seven bits get through, so high bytes go with the 8th-bit prefix.
    bool parity = false;
    int longPacket = 9024; // the longest packet we offer to receive
    int window = 31;       // the most packets we offer to have in flight (1: stop and wait)
};

// Sends the files in turn (names as the files have them), then ends the batch. 0 or a TransferError.
int kermitSend(TransferContext& ctx, const std::vector<std::string>& paths,
               const KermitOptions& options = {});

// Receives a batch into files. Returns the number of files received, or a TransferError code.
int kermitReceive(TransferContext& ctx, IncomingFiles& files, const KermitOptions& options = {});

} // namespace seriallib
