// The XMODEM and YMODEM senders against a hostile receiver: the first byte chooses the protocol
// (checksum, CRC, 1K, YMODEM), the next two the file's size, the rest are the receiver's replies.
// Success only after every block was acknowledged and an EOT went out (an empty file: and was
// acknowledged); no block beyond the file's end.

#include "fuzz_check.h"
#include "sender_fuzz_support.h"
#include "xmodem.h"
#include "xmodem_block.h"

#include <set>

using fuzzsupport::check;
namespace xm = seriallib::xmodem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const int kind = data[0] % 4;
    const size_t fileSize = (size_t(data[1]) << 8 | data[2]) % 6000;
    const std::string path = fuzzsupport::sourceFile(fileSize);
    fuzzsupport::ReplyChannel channel(data + 3, size - 3);
    seriallib::TransferContext ctx(channel, nullptr, {}, fuzzsupport::senderWaits());
    const bool batch = kind == 3;
    const int r = batch ? seriallib::ymodemSend(ctx, path)
                        : seriallib::xmodemSend(ctx, path, static_cast<seriallib::XmodemVariant>(kind));
    check(r <= 0 && r >= TransferErrProtocol, "unknown result code");

    std::set<uint8_t> numbers; // data blocks, block 0 of a batch aside
    size_t dataBytes = 0, eots = 0, headers = 0;
    for (const auto& w : channel.writes()) {
        if (w.size() == 1 && w[0] == xm::EOT)
            ++eots;
        if (w.size() < 3 || (w[0] != xm::SOH && w[0] != xm::STX))
            continue;
        const size_t blockSize = w[0] == xm::STX ? xm::kLargeBlock : xm::kSmallBlock;
        check(w.size() == 3 + blockSize + 1 || w.size() == 3 + blockSize + 2, "a block of the wrong size");
        if (batch && w[1] == 0) {
            ++headers;
        } else if (numbers.insert(w[1]).second) {
            dataBytes += blockSize;
        }
    }
    check(numbers.empty() || *numbers.rbegin() == numbers.size(), "blocks out of order");
    check(dataBytes < fileSize + xm::kLargeBlock, "blocks beyond the file's end");
    if (r == 0) {
        check(dataBytes >= fileSize, "success with part of the file unsent");
        check(eots >= 1, "success without an EOT");
        // One ACK per block at least; an empty file's EOT was acknowledged (in a batch, a start
        // request may do that).
        const size_t acks = channel.count(xm::ACK);
        check(acks >= numbers.size() + (batch ? 1 : 0), "success with a block unacknowledged");
        // Outside a batch only an ACK answers an EOT; in one, the start request for the next file
        // does too (beside those for block 0 and for the data).
        if (numbers.empty())
            check(batch ? acks >= 2 || channel.count(xm::CRC_START) >= 3 : acks >= 1,
                  "an empty file's end unconfirmed");
        check(!batch || headers >= 1, "a batch without its header");
    }
    return 0;
}
