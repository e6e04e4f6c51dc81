#include "zmodem_link.h"

#include "seriallib.h"

#include <climits>

namespace seriallib::zmodem {

int Link::progress(uint64_t done, uint64_t total) {
    return ctx_.progress(int64_t(std::min<uint64_t>(done, INT64_MAX)),
                         int64_t(std::min<uint64_t>(total, INT64_MAX)));
}

int Link::flush() {
    size_t done = 0;
    auto moved = Clock::now();
    int rc = 0;
    while (done < out_.size()) {
        if ((rc = ctx_.stopCode()) != 0)
            break;
        const size_t piece = std::min<size_t>(out_.size() - done, 4096);
        const int n = ctx_.channel().write(out_.data() + done, piece, after(kWriteSlice));
        if (n < 0) {
            rc = TransferErrNotOpen;
            break;
        }
        if (n > 0) {
            done += size_t(n);
            ctx_.stats().bytesOut += uint64_t(n);
            moved = Clock::now();
            continue;
        }
        if (in_.cancelPending()) {
            rc = TransferErrRemoteAbort;
            break;
        }
        if (Clock::now() - moved >= timings().writeStall) {
            rc = TransferErrTimeout;
            break;
        }
    }
    out_.clear();
    return rc;
}

void Link::cancel() {
    out_.clear();
    appendCancel(out_);
    ctx_.sendCancel(out_.data(), out_.size());
    out_.clear();
}

int Link::readFailure(Status s) {
    switch (s) {
    case Status::Cancelled:
        return TransferErrRemoteAbort;
    case Status::Stopped:
        cancel();
        return in_.stopCode();
    case Status::Failed:
        return TransferErrNotOpen;
    default:
        return TransferErrTimeout;
    }
}

int Link::abortWith(int code) {
    if (code != TransferErrNotOpen && code != TransferErrRemoteAbort)
        cancel();
    return code;
}

} // namespace seriallib::zmodem
