// The XMODEM receiver (checksum, CRC, 1K: the first byte chooses) fed arbitrary bursts from its
// peer. It ends with a file of whole blocks and success, or with a failure code and no file.

#include "fuzz_check.h"
#include "receiver_fuzz_support.h"
#include "transfer_context.h"
#include "xmodem.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using fuzzsupport::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    namespace fs = std::filesystem;
    auto& checked = fuzzsupport::sharedFolder();
    const std::string path = checked.folder().path() + "/out";
    const auto variant = static_cast<seriallib::XmodemVariant>(data[0] % 3);
    fuzzsupport::PeerChannel channel(data + 1, size - 1, fuzzsupport::PeerChannel::Bursts);
    seriallib::TransferContext ctx(channel, nullptr, {}, fuzzsupport::zeroWaits());
    int r = seriallib::xmodemReceive(ctx, path, variant);
    check(r <= 0 && r >= TransferErrProtocol, "unknown result code");
    std::error_code ec;
    if (r == 0) {
        auto got = fs::file_size(path, ec);
        check(!ec && got % 128 == 0 && got <= size, "a received file that no input could give");
    } else {
        check(!fs::exists(path, ec), "a failed transfer left a file");
    }
    seriallib::FolderFiles none(checked.folder());
    checked.checkAndClear(none);
    return 0;
}
