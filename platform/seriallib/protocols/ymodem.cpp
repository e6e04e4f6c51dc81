#include "receive_folder.h"
#include "source_file.h"
#include "xmodem.h"
#include "xmodem_engine.h"

#include <vector>

namespace seriallib {

using namespace xmodem;

int ymodemSend(TransferContext& ctx, const std::string& path) {
    SourceFile file;
    BlockSender sender(ctx);
    if (int r = detail::beginSend(ctx, sender, file, path))
        return r;
    auto header = batchHeader(file.name(), file.size());
    size_t headerBlock = header.size() <= kSmallBlock ? kSmallBlock : kLargeBlock;
    header.resize(headerBlock, 0); // block 0 is filled with NULs, not the data padding
    if (int r = sender.sendBlock(0, header.data(), header.size(), headerBlock, true))
        return r;
    if (int r = sender.awaitStart(ctx.timings().responseWait))
        return r;
    if (int r = detail::sendFileData(ctx, sender, file, true, true))
        return r;
    if (sender.peerLeft())
        return 0;
    // The receiver acknowledged the EOT and so keeps the file; the empty block 0 only ends the
    // batch, and a receiver that leaves as soon as it has it may take our last answer with it.
    sender.closing();
    if (int r = sender.awaitStart(ctx.timings().leaveWait))
        return r;
    if (sender.peerLeft())
        return 0;
    const std::vector<uint8_t> none(kSmallBlock, 0);
    return sender.sendBlock(0, none.data(), none.size(), kSmallBlock, true);
}

int ymodemReceive(TransferContext& ctx, const std::string& folderPath) {
    ReceiveFolder folder(folderPath);
    if (!folder.valid())
        return TransferErrFile;
    const auto& t = ctx.timings();
    BlockReceiver rx(ctx, true);
    int files = 0;
    for (;;) {
        // Block 0: the file's name and size, or the end of the batch.
        BlockReceiver::Packet packet;
        int tries = 0;
        uint8_t request = CRC_START;
        for (;;) {
            if (int w = rx.send(request))
                return rx.fail(w);
            int r = rx.next(packet, t.startInterval);
            if (r < 0 && r != ReadTimedOut)
                return rx.fail(r);
            if (r == 0 && packet.kind == BlockReceiver::Block && packet.number == 0)
                break;
            if (r == 0 && packet.kind == BlockReceiver::Eot) {
                // The sender missed our ACK of its EOT.
                if (int w = rx.send(ACK))
                    return rx.fail(w);
                continue;
            }
            if (++tries > (files == 0 ? t.startTries : t.retries))
                return rx.fail(r == ReadTimedOut ? TransferErrTimeout : TransferErrProtocol);
            // Once something has come, a damaged header is asked for again with NAK.
            request = r == ReadTimedOut ? CRC_START : NAK;
        }
        auto entry = parseBatchHeader(packet.data.data(), packet.size);
        if (entry.name.empty()) {
            rx.send(ACK);
            return files;
        }
        IncomingFile file = folder.begin(entry.name);
        if (!file.valid())
            return rx.fail(TransferErrFile);
        if (int w = rx.send(ACK))
            return rx.fail(w);
        int64_t limit = entry.sizeKnown ? static_cast<int64_t>(entry.size) : -1;
        if (int r = detail::receiveFileData(ctx, rx, file, limit, true))
            return r;
        if (entry.sizeKnown && file.size() < entry.size)
            return rx.fail(TransferErrProtocol); // the sender ended early: never kept as complete
        if (file.commit().empty())
            return rx.fail(TransferErrFile);
        ++files;
    }
}

} // namespace seriallib
