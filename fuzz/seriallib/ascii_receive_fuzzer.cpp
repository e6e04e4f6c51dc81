// The ASCII receiver fed arbitrary bursts: a file it keeps holds exactly what came, and success
// needs something to have come.

#include "ascii.h"
#include "fuzz_check.h"
#include "sender_fuzz_support.h"

#include <cstdio>
#include <filesystem>
#include <vector>

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    auto& checked = fuzzsupport::sharedFolder();
    const std::string path = checked.folder().path() + "/out";
    fuzzsupport::ReplyChannel channel(data, size);
    seriallib::TransferContext ctx(channel, nullptr, {}, fuzzsupport::zeroWaits());
    const int r = seriallib::asciiReceive(ctx, path, seriallib::milliseconds(0));
    check(r <= 0 && r >= TransferErrProtocol, "unknown result code");
    std::error_code ec;
    const bool kept = fs::exists(path, ec);
    check(r != 0 || kept, "success without a file");
    if (kept) {
        check(!channel.delivered().empty(), "a file from nothing");
        std::vector<uint8_t> got(fs::file_size(path, ec));
        FILE* f = std::fopen(path.c_str(), "rb");
        check(f != nullptr, "a kept file that cannot be read");
        const size_t n = std::fread(got.data(), 1, got.size(), f);
        std::fclose(f);
        check(n == got.size() && got == channel.delivered(), "a kept file that differs from what came");
    }
    seriallib::FolderFiles none(checked.folder());
    checked.checkAndClear(none);
    return 0;
}
