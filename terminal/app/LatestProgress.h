// The progress block a transfer's dialog has yet to show: the transfer's thread puts each new one,
// replacing one not yet taken, and posts to the GUI thread only when none was waiting.
#pragma once

#include "ActiveTransferTable.h"

#include <mutex>
#include <optional>

namespace halvic {

class LatestProgress {
public:
    // True when the block is the only one waiting (post a take), false when it replaced one.
    bool put(const TransferProgress& block) {
        std::lock_guard lock(mutex_);
        const bool first = !block_.has_value();
        block_ = block;
        return first;
    }
    std::optional<TransferProgress> take() {
        std::lock_guard lock(mutex_);
        std::optional<TransferProgress> block;
        block.swap(block_);
        return block;
    }

private:
    std::mutex mutex_;
    std::optional<TransferProgress> block_;
};

} // namespace halvic
