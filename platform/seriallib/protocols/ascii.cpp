#include "ascii.h"

#include "receive_folder.h"
#include "source_file.h"

#include <vector>

namespace seriallib {
namespace {
constexpr size_t kChunk = 256;
}

int asciiSend(TransferContext& ctx, const std::string& path) {
    SourceFile file;
    if (!file.open(path))
        return TransferErrFile;
    auto total = static_cast<int64_t>(file.size());
    std::vector<uint8_t> buffer(kChunk);
    uint64_t done = 0;
    if (int r = ctx.progress(0, total))
        return r;
    while (done < file.size()) {
        long n = file.readAt(done, buffer.data(), buffer.size());
        if (n <= 0)
            return TransferErrFile;
        if (int r = ctx.write(buffer.data(), static_cast<size_t>(n)))
            return r;
        done += static_cast<uint64_t>(n);
        if (int r = ctx.progress(static_cast<int64_t>(done), total))
            return r;
    }
    ctx.channel().drainOutput(ctx.after(ctx.timings().writeStall));
    // A file that grew or was rewritten while it was sent is not the one announced.
    return file.changed() ? TransferErrFile : 0;
}

int asciiReceive(TransferContext& ctx, const std::string& path, std::chrono::milliseconds idle) {
    IncomingFile file = IncomingFile::forPath(path);
    if (!file.valid())
        return TransferErrFile;
    std::vector<uint8_t> buffer(4096);
    if (int r = ctx.progress(0, 0))
        return r;
    for (;;) {
        int n = ctx.read(buffer.data(), buffer.size(), ctx.after(idle));
        if (n > 0) {
            if (!file.write(buffer.data(), static_cast<size_t>(n)))
                return TransferErrFile;
            if (ctx.progress(static_cast<int64_t>(file.size()), 0) == 0)
                continue;
            n = ctx.stopCode();
        }
        // Nothing came: no file, whether the line went quiet, hung up or the transfer was stopped.
        if (file.size() == 0)
            return n == ReadTimedOut ? TransferErrTimeout : n;
        if (file.commit().empty())
            return TransferErrFile;
        return n == ReadTimedOut ? 0 : n;
    }
}

} // namespace seriallib
