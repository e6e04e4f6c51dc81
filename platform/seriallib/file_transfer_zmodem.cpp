// The ZMODEM entry points of the serial library: the engines on an open port's channel.

#include "port_channel.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_context.h"
#include "zmodem_session.h"

namespace {

using namespace seriallib;

int receiveBatch(int port, const char** folder, TransferProgressCallback callback) {
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!folder || !*folder)
            return int(TransferErrFile);
        ReceiveFolder target(*folder);
        if (!target.valid())
            return int(TransferErrFile);
        FolderFiles files(target);
        TransferContext ctx(channel, &abort, std::move(callback));
        return zmodemReceive(ctx, files);
    });
}

} // namespace

int FileSendZmodem(int port, const char* path, TransferProgressCallback callback, int) {
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!path)
            return int(TransferErrFile);
        TransferContext ctx(channel, &abort, std::move(callback));
        return zmodemSend(ctx, {path});
    });
}

int FileReceiveZmodem(int port, const char** folder, int, TransferProgressCallback callback, int) {
    return receiveBatch(port, folder, std::move(callback));
}

// The terminal's detector has already taken the sender's ZRQINIT off the line; the receiver
// opens with ZRINIT, which is what that sender is waiting for.
int FileReceiveZmodemAuto(int port, const char** folder, int, TransferProgressCallback callback, int) {
    return receiveBatch(port, folder, std::move(callback));
}
