// The YMODEM batch receiver fed arbitrary bursts from its peer. Every file it keeps lies inside the
// receive folder, and a batch it reports holds as many files as it says.

#include "receiver_fuzz_support.h"
#include "transfer_context.h"
#include "xmodem.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    auto& checked = fuzzsupport::sharedFolder();
    fuzzsupport::PeerChannel channel(data, size, fuzzsupport::PeerChannel::Bursts);
    seriallib::TransferContext ctx(channel, nullptr, {}, fuzzsupport::zeroWaits());
    int r = seriallib::ymodemReceive(ctx, checked.folder().path());
    int kept = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(checked.folder().path()))
        ++kept;
    if (r < TransferErrProtocol || (r >= 0 && r != kept)) {
        std::fprintf(stderr, "result %d with %d files kept\n", r, kept);
        std::abort();
    }
    seriallib::FolderFiles none(checked.folder());
    checked.checkAndClear(none);
    return 0;
}
