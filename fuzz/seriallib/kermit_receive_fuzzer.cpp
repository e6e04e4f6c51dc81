// The Kermit batch receiver fed arbitrary bytes from its peer, on an 8-bit line and on one with parity.

#include "kermit_session.h"
#include "receiver_fuzz_support.h"
#include "transfer_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    auto& checked = fuzzsupport::sharedFolder();
    {
        fuzzsupport::PeerChannel channel(data + 1, size - 1, fuzzsupport::PeerChannel::Pieces);
        seriallib::FolderFiles files(checked.folder());
        seriallib::TransferContext ctx(channel, nullptr, {});
        seriallib::KermitOptions options;
        options.parity = (data[0] & 1) != 0;
        seriallib::kermitReceive(ctx, files, options);
        checked.checkAndClear(files);
    }
    return 0;
}
