#include "xmodem.h"

#include "receive_folder.h"
#include "source_file.h"
#include "xmodem_engine.h"

#include <algorithm>
#include <vector>

namespace seriallib {

using namespace xmodem;

namespace detail {

// The block size for what is left of a file: large blocks while they are filled well, small ones for
// a short tail so that padding stays small.
size_t blockSizeFor(uint64_t remaining, bool large) {
    if (!large || remaining <= 7 * kSmallBlock)
        return kSmallBlock;
    return kLargeBlock;
}

int beginSend(TransferContext& ctx, BlockSender& sender, SourceFile& file, const std::string& path) {
    if (!file.open(path))
        return TransferErrFile;
    if (int r = ctx.progress(0, static_cast<int64_t>(file.size())))
        return sender.fail(r);
    return sender.awaitStart(ctx.timings().startWait);
}

// Sends the file's data as blocks 1, 2, ... and the EOT.
int sendFileData(TransferContext& ctx, BlockSender& sender, SourceFile& file, bool large, bool batch) {
    uint64_t total = file.size();
    uint64_t done = 0;
    uint8_t number = 1;
    std::vector<uint8_t> buffer(kLargeBlock);
    if (int r = ctx.progress(0, static_cast<int64_t>(total)))
        return sender.fail(r);
    bool first = true;
    while (done < total) {
        size_t blockSize = blockSizeFor(total - done, large);
        long n = file.readAt(done, buffer.data(), blockSize);
        if (n <= 0)
            return sender.fail(TransferErrFile);
        if (int r = sender.sendBlock(number, buffer.data(), static_cast<size_t>(n), blockSize, first))
            return r;
        first = false;
        ++number;
        done += static_cast<uint64_t>(n);
        if (int r = ctx.progress(static_cast<int64_t>(done), static_cast<int64_t>(total)))
            return sender.fail(r);
    }
    // A file that grew or was rewritten while it was sent is not the one announced.
    if (file.changed())
        return sender.fail(TransferErrFile);
    return sender.sendEot(batch, total > 0);
}

// Sends the start request and receives blocks 1, 2, ... up to the EOT. Bytes beyond limit are not
// written (-1: no limit). In a batch the request follows block 0, which may come again when our ACK
// was lost.
int receiveFileData(TransferContext& ctx, BlockReceiver& rx, IncomingFile& file, int64_t limit, bool batch) {
    const auto& t = ctx.timings();
    uint8_t request = rx.crc() ? CRC_START : NAK;
    uint8_t expected = 1;
    int startTries = 1;
    int errors = 0;
    bool started = false;
    bool eotSeen = false;
    int64_t received = 0;
    int64_t total = limit < 0 ? 0 : limit;
    BlockReceiver::Packet packet;
    if (int r = ctx.progress(0, total))
        return rx.fail(r);
    if (int w = rx.send(request))
        return rx.fail(w);
    for (;;) {
        int r = rx.next(packet, started && !eotSeen ? t.blockWait : t.startInterval);
        if (r < 0 && r != ReadTimedOut)
            return rx.fail(r);
        bool timedOut = r == ReadTimedOut;
        bool bad = timedOut || packet.kind == BlockReceiver::Bad;
        if (bad && !started && !eotSeen) {
            if (++startTries > t.startTries)
                return rx.fail(TransferErrTimeout);
            // A CRC request nobody answers: the sender may know only checksums.
            if (!batch && rx.crc() && startTries > 3) {
                rx.useChecksum();
                request = NAK;
            }
            if (int w = rx.send(request))
                return rx.fail(w);
            continue;
        }
        if (bad) {
            // The end counts only when a clean EOT answers our NAK of the one before; silence in
            // between is a lost NAK or a sender's pause, and is asked about again.
            if (!timedOut)
                eotSeen = false;
            if (++errors > t.retries)
                return rx.fail(timedOut ? TransferErrTimeout : TransferErrProtocol);
            ctx.stats().retries++;
            if (int w = rx.send(NAK))
                return rx.fail(w);
            continue;
        }
        if (packet.kind == BlockReceiver::Eot) {
            if (eotSeen)
                return rx.send(ACK) == 0 ? 0 : rx.fail(TransferErrNotOpen);
            // A lone EOT may be line noise: it is the end only if the sender says so again.
            eotSeen = true;
            if (int w = rx.send(NAK))
                return rx.fail(w);
            continue;
        }
        eotSeen = false;
        if (packet.number == static_cast<uint8_t>(expected - 1)) {
            // Sent again because our ACK was lost; a repeated block 0 of a batch also needs the
            // request again.
            if (int w = rx.send(ACK))
                return rx.fail(w);
            if (batch && !started)
                if (int w = rx.send(request))
                    return rx.fail(w);
            continue;
        }
        if (packet.number != expected)
            return rx.fail(TransferErrProtocol);
        started = true;
        errors = 0;
        size_t keep = packet.size;
        if (limit >= 0)
            keep = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(keep), limit - received));
        if (keep > 0 && !file.write(packet.data.data(), keep))
            return rx.fail(TransferErrFile);
        received += static_cast<int64_t>(keep);
        ++expected;
        ctx.stats().blocks++;
        if (int w = rx.send(ACK))
            return rx.fail(w);
        if (int p = ctx.progress(received, total))
            return rx.fail(p);
    }
}

} // namespace detail

int xmodemSend(TransferContext& ctx, const std::string& path, XmodemVariant variant) {
    SourceFile file;
    BlockSender sender(ctx);
    if (int r = detail::beginSend(ctx, sender, file, path))
        return r;
    return detail::sendFileData(ctx, sender, file, variant == XmodemVariant::OneK, false);
}

int xmodemReceive(TransferContext& ctx, const std::string& path, XmodemVariant variant) {
    IncomingFile file = IncomingFile::forPath(path);
    if (!file.valid())
        return TransferErrFile;
    bool crc = variant != XmodemVariant::Checksum;
    BlockReceiver rx(ctx, crc);
    int r = detail::receiveFileData(ctx, rx, file, -1, false);
    if (r < 0)
        return r;
    if (file.commit().empty())
        return TransferErrFile;
    return 0;
}

} // namespace seriallib
