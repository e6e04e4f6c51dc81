#pragma once
// The stop-and-wait block exchange that XMODEM and YMODEM share, one class per side.

#include "transfer_context.h"
#include "xmodem_block.h"

#include <array>

namespace seriallib::xmodem {

class BlockSender {
public:
    explicit BlockSender(TransferContext& ctx) : ctx_(ctx) {}

    // Waits up to `wait` for the receiver's request: NAK asks for checksum blocks, 'C' for CRC.
    int awaitStart(milliseconds wait);
    bool crc() const { return crc_; }

    // Sends one block and waits for its ACK, sending it again after a NAK or a time-out. On the first
    // block after a start request, a repeated request counts as a NAK.
    int sendBlock(uint8_t number, const uint8_t* data, size_t size, size_t blockSize, bool first);
    // Sends EOT until it is acknowledged. In a batch, the receiver's next start request also shows
    // that the EOT arrived.
    int sendEot(bool batch);
    // Ends the exchange on an error: the cancel sequence unless the peer cancelled or the line is gone.
    int fail(int code);
    // Whether the line was closed by the receiver after the last block of the session was sent: every
    // data block was acknowledged then, only the final answer was lost.
    bool hungUp() const { return hungUp_; }

private:
    void turnaround();
    // ACK, NAK, CRC_START, CAN (after two of them), ReadTimedOut or a negative code.
    int awaitAnswer(Clock::time_point deadline);

    TransferContext& ctx_;
    bool crc_ = false;
    bool startPending_ = false; // a start request came in as the answer to EOT
    bool hungUp_ = false;
};

class BlockReceiver {
public:
    enum Kind { Block, Eot, Bad };
    struct Packet {
        Kind kind = Bad;
        uint8_t number = 0;
        size_t size = 0;
        std::array<uint8_t, kLargeBlock> data{};
    };

    BlockReceiver(TransferContext& ctx, bool crc) : ctx_(ctx), crc_(crc) {}
    bool crc() const { return crc_; }
    void useChecksum() { crc_ = false; }

    // Reads what comes next, waiting up to `wait` for its first byte: 0 with the packet filled in,
    // ReadTimedOut, TransferErrRemoteAbort after CAN CAN, or another negative code. A damaged block
    // or a stray byte gives Kind Bad once the line has gone quiet.
    int next(Packet& packet, milliseconds wait);
    int send(uint8_t byte);
    int fail(int code);

private:
    TransferContext& ctx_;
    bool crc_;
};

} // namespace seriallib::xmodem

namespace seriallib {
class SourceFile;
class IncomingFile;
namespace detail {
// Sends blocks 1, 2, ... and the EOT; large selects 1024-byte blocks.
int sendFileData(TransferContext& ctx, xmodem::BlockSender& sender, SourceFile& file, bool large, bool batch);
// Sends the start request and receives blocks 1, 2, ... up to the EOT; writes at most limit bytes
// (-1: all of them).
int receiveFileData(TransferContext& ctx, xmodem::BlockReceiver& rx, IncomingFile& file, int64_t limit,
                    bool batch);
} // namespace detail
} // namespace seriallib
