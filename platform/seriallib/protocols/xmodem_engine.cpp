#include "xmodem_engine.h"

#include <algorithm>
#include <thread>

namespace seriallib::xmodem {

int BlockSender::awaitAnswer(Clock::time_point deadline) {
    for (;;) {
        int c = ctx_.readByte(deadline);
        if (c < 0)
            return c;
        if (c == ACK || c == NAK || c == CRC_START)
            return c;
        if (c == CAN) {
            int second = ctx_.readByte(ctx_.after(ctx_.timings().byteGap));
            if (second == CAN)
                return CAN;
            if (second == ACK || second == NAK || second == CRC_START)
                return second;
            if (second < 0 && second != ReadTimedOut)
                return second;
        }
        // Anything else is line noise: keep listening.
    }
}

milliseconds BlockSender::answerWait() const {
    const auto& t = ctx_.timings();
    return closing_ ? t.leaveWait : t.responseWait;
}

void BlockSender::turnaround() {
    if (ctx_.timings().turnaround.count() > 0)
        std::this_thread::sleep_for(ctx_.timings().turnaround);
}

int BlockSender::awaitStart(milliseconds wait) {
    if (startPending_) {
        startPending_ = false;
        return 0;
    }
    auto deadline = ctx_.after(wait);
    for (;;) {
        int c = awaitAnswer(deadline);
        if (c == NAK || c == CRC_START) {
            crc_ = c == CRC_START;
            // Requests repeated while we were not listening would read as NAKs of the first block.
            ctx_.purgeInput();
            return 0;
        }
        if (c == CAN)
            return fail(TransferErrRemoteAbort);
        if (c < 0)
            return leftOr(c == ReadTimedOut ? TransferErrTimeout : c);
        // A stray ACK before anything was sent means nothing.
    }
}

int BlockSender::sendBlock(uint8_t number, const uint8_t* data, size_t size, size_t blockSize, bool first) {
    auto frame = frameBlock(number, data, size, blockSize, crc_);
    bool lastTimedOut = false;
    for (int attempt = 0; attempt <= ctx_.timings().retries; ++attempt) {
        if (attempt > 0)
            ctx_.stats().retries++;
        turnaround();
        if (int r = ctx_.write(frame))
            return leftOr(r);
        for (;;) {
            int c = awaitAnswer(ctx_.after(answerWait()));
            if (c == ACK) {
                ctx_.stats().blocks++;
                return 0;
            }
            if (c == CRC_START && !first)
                continue;
            if (c == NAK || c == CRC_START) {
                lastTimedOut = false;
                ctx_.purgeInput();
                break;
            }
            if (c == CAN)
                return fail(TransferErrRemoteAbort);
            if (c == ReadTimedOut) {
                if (closing_)
                    return leftOr(TransferErrTimeout);
                lastTimedOut = true;
                break;
            }
            return leftOr(c);
        }
    }
    return fail(lastTimedOut ? TransferErrTimeout : TransferErrProtocol);
}

int BlockSender::sendEot(bool batch, bool dataAcknowledged) {
    const uint8_t eot = EOT;
    // An EOT goes out first, then once more for each NAK: a receiver that answers is there to read
    // it. Silence is never answered with another EOT: a receiver that acknowledged one and left (its
    // ACK lost as it flushed its line on the way out) would leave it to whatever reads the line next,
    // a shell that takes it for the end of its input.
    for (int attempt = 0; attempt <= ctx_.timings().retries; ++attempt) {
        if (attempt > 1)
            ctx_.stats().retries++; // a NAK of the first EOT is the rule, not a retry
        turnaround();
        int c = ctx_.write(&eot, 1);
        if (c == 0) {
            auto deadline = ctx_.after(ctx_.timings().leaveWait);
            c = awaitAnswer(deadline);
            while (c == CRC_START && !batch)
                c = awaitAnswer(deadline); // no answer to an EOT outside a batch
        }
        if (c == ACK)
            return 0;
        if (c == CRC_START) {
            startPending_ = true;
            crc_ = true;
            return 0;
        }
        if (c == TransferErrNotOpen || c == ReadTimedOut) {
            // Every block was acknowledged: the receiver has the file. Without one, nothing says it
            // has even the empty one, and there is nobody left to tell.
            if (!dataAcknowledged)
                return c == ReadTimedOut ? TransferErrTimeout : c;
            peerLeft_ = true;
            return 0;
        }
        if (c == CAN)
            return fail(TransferErrRemoteAbort);
        if (c < 0)
            return fail(c);
    }
    return fail(TransferErrProtocol);
}

int BlockSender::leftOr(int code) {
    if (closing_ && (code == TransferErrTimeout || code == TransferErrNotOpen)) {
        peerLeft_ = true;
        return 0;
    }
    return fail(code);
}

int BlockSender::fail(int code) {
    if (code != TransferErrRemoteAbort && code != TransferErrNotOpen) {
        const auto& cancel = cancelSequence();
        ctx_.sendCancel(cancel.data(), cancel.size());
    }
    return code;
}

int BlockReceiver::send(uint8_t byte) {
    return ctx_.write(&byte, 1);
}

int BlockReceiver::fail(int code) {
    if (code != TransferErrRemoteAbort && code != TransferErrNotOpen) {
        const auto& cancel = cancelSequence();
        ctx_.sendCancel(cancel.data(), cancel.size());
    }
    return code;
}

int BlockReceiver::somethingFollows(milliseconds grace, uint8_t* extra) {
    uint8_t byte;
    int n = ctx_.read(&byte, 1, ctx_.after(grace));
    if (n == ReadTimedOut)
        return 0;
    if (n > 0 && extra)
        *extra = byte;
    return n < 0 ? n : 1;
}

int BlockReceiver::secondCancel() {
    int second = ctx_.readByte(ctx_.after(ctx_.timings().byteGap));
    if (second == CAN)
        return TransferErrRemoteAbort;
    return second < 0 && second != ReadTimedOut ? second : 0;
}

int BlockReceiver::next(Packet& packet, milliseconds wait) {
    const auto& t = ctx_.timings();
    packet.kind = Bad;
    int c = ctx_.readByte(ctx_.after(wait));
    if (c < 0)
        return c;
    auto headerSeen = Clock::now();
    if (c == EOT) {
        // Once per file: it may wait for the whole quiet time.
        int more = somethingFollows(t.quiet);
        if (more < 0)
            return more;
        if (more == 0) {
            packet.kind = Eot;
            return 0;
        }
    } else if (c == CAN) {
        if (int r = secondCancel())
            return r;
    } else if (c == SOH || c == STX) {
        size_t blockSize = c == STX ? kLargeBlock : kSmallBlock;
        uint8_t rest[2 + kLargeBlock + 2];
        size_t need = 2 + blockSize + (crc_ ? 2 : 1);
        int n = ctx_.readExact(rest, need, t.byteGap);
        if (n < 0 && n != ReadTimedOut)
            return n;
        if (n == static_cast<int>(need) && static_cast<uint8_t>(rest[0] ^ rest[1]) == 0xFF &&
            checkMatches(rest + 2, blockSize, rest + 2 + blockSize, crc_)) {
            // A byte shifted out of the block arrives within a few byte times of its neighbours. On a
            // line whose bytes come a millisecond apart or more that is worth a wait; on a fast one
            // it has come with the block, and only a byte already here is looked at.
            const auto perByte = (Clock::now() - headerSeen) / need;
            const auto grace = std::chrono::floor<milliseconds>(4 * perByte);
            uint8_t extra = 0;
            int more = somethingFollows(std::min(t.quiet, grace), &extra);
            if (more < 0)
                return more;
            // A sender that stops right after a block cancels right behind it.
            if (more == 1 && extra == CAN)
                if (int r = secondCancel())
                    return r;
            if (more == 0) {
                packet.kind = Block;
                packet.number = rest[0];
                packet.size = blockSize;
                std::copy(rest + 2, rest + 2 + blockSize, packet.data.begin());
                return 0;
            }
        }
    }
    // A damaged block or noise: let the line go quiet so the NAK that follows is not lost in it.
    int q = ctx_.waitQuiet(t.quiet, ctx_.after(t.blockWait));
    return q < 0 ? q : 0;
}

} // namespace seriallib::xmodem
