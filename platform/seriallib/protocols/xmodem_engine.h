#pragma once
// The stop-and-wait block exchange that XMODEM and YMODEM share, one class per side.

#include "transfer_context.h"
#include "xmodem_block.h"

#include <array>
#include <string>

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
    // Sends EOT until it is acknowledged; in a batch, the receiver's next start request also shows
    // that the EOT arrived. A receiver that hangs up or falls silent for the leave wait after an EOT
    // took it and left when every data block was acknowledged (dataAcknowledged); an empty file
    // ends well only on an answer.
    int sendEot(bool batch, bool dataAcknowledged);
    // From now on the receiver holds every file: the rest only closes the batch, and a receiver that
    // leaves (hangs up or goes silent) instead of answering it has lost nothing.
    void closing() { closing_ = true; }
    // Ends the exchange on an error: the cancel sequence unless the peer cancelled or the line is gone.
    int fail(int code);
    // Whether the receiver left without its last answer reaching us, after it had all the data.
    bool peerLeft() const { return peerLeft_; }

private:
    void turnaround();
    // How long a block's answer is waited for: the leave wait once only the closing is left.
    milliseconds answerWait() const;
    // ACK, NAK, CRC_START, CAN (after two of them), ReadTimedOut or a negative code.
    int awaitAnswer(Clock::time_point deadline);
    // While closing: a receiver that has gone ends the exchange well (0, peerLeft() set); otherwise
    // the failure `code`.
    int leftOr(int code);

    TransferContext& ctx_;
    bool crc_ = false;
    bool startPending_ = false; // a start request came in as the answer to EOT
    bool closing_ = false;
    bool peerLeft_ = false;
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
    // or a stray byte gives Kind Bad once the line has gone quiet. A sender waits for our answer to
    // each block and EOT, so a block or EOT that more bytes follow at once was misframed (a byte
    // inserted by the line, a stray EOT): Bad as well.
    int next(Packet& packet, milliseconds wait);
    int send(uint8_t byte);
    int fail(int code);

private:
    // 1 when a byte comes within grace (the byte in *extra when given), 0 when none, or an error.
    int somethingFollows(milliseconds grace, uint8_t* extra = nullptr);
    // After a first CAN: TransferErrRemoteAbort when a second follows, a line error, or 0.
    int secondCancel();

    TransferContext& ctx_;
    bool crc_;
};

} // namespace seriallib::xmodem

namespace seriallib {
class SourceFile;
class IncomingFile;
namespace detail {
// Opens the file at path, reports its size and waits for the receiver's first request.
int beginSend(TransferContext& ctx, xmodem::BlockSender& sender, SourceFile& file, const std::string& path);
// Sends blocks 1, 2, ... and the EOT; large selects 1024-byte blocks.
int sendFileData(TransferContext& ctx, xmodem::BlockSender& sender, SourceFile& file, bool large, bool batch);
// Sends the start request and receives blocks 1, 2, ... up to the EOT; writes at most limit bytes
// (-1: all of them).
int receiveFileData(TransferContext& ctx, xmodem::BlockReceiver& rx, IncomingFile& file, int64_t limit,
                    bool batch);
} // namespace detail
} // namespace seriallib
