// The ZMODEM batch receiver fed arbitrary bytes from its peer.

#include "receiver_fuzz_support.h"
#include "transfer_context.h"
#include "zmodem_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto& checked = fuzzsupport::sharedFolder();
    {
        fuzzsupport::PeerChannel channel(data, size, fuzzsupport::PeerChannel::Pieces);
        seriallib::FolderFiles files(checked.folder());
        seriallib::TransferContext ctx(channel, nullptr, {});
        seriallib::zmodemReceive(ctx, files);
        checked.checkAndClear(files);
    }
    return 0;
}
