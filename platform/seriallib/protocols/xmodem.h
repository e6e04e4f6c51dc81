#pragma once
// XMODEM (checksum, CRC, 1K) and YMODEM batch transfers over a transfer context.
// Each returns 0 (YMODEM receive: the number of files) or a negative TransferError code.

#include "transfer_context.h"

#include <string>

namespace seriallib {

enum class XmodemVariant {
    Checksum, // 128-byte blocks; a receiver starts with NAK
    Crc,      // 128-byte blocks; a receiver starts with 'C'
    OneK,     // 1024-byte blocks; a receiver starts with 'C'
};

// The sender follows the receiver's request: NAK gets an 8-bit sum, 'C' a CRC, whatever the variant.
// Success once every block is acknowledged and the EOT is answered, or the receiver has left without
// answering it (hung up, or silent through three EOTs).
int xmodemSend(TransferContext& ctx, const std::string& path, XmodemVariant variant);
// Writes the blocks to path (absolute), padding included; the file appears only when complete,
// which a clean EOT repeated after our NAK of the first marks. A receiver that asks with 'C' falls
// back to NAK when the sender does not answer.
int xmodemReceive(TransferContext& ctx, const std::string& path, XmodemVariant variant);

// Sends one file as a batch of one: name and size in block 0, 1024-byte blocks, end of batch. Once
// the receiver has acknowledged the file's EOT, a receiver that leaves without closing the batch
// does not fail the send.
int ymodemSend(TransferContext& ctx, const std::string& path);
// Receives a batch into folder (absolute); each file is cut to the size its block 0 gives and
// never replaces an existing file.
int ymodemReceive(TransferContext& ctx, const std::string& folder);

} // namespace seriallib
