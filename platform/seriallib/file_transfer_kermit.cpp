// The Kermit entry points of the serial library: the engines on an open port's channel.

#include "kermit_session.h"
#include "port_channel.h"
#include "receive_folder.h"
#include "serial_port_table.h"
#include "seriallib.h"
#include "transfer_context.h"

namespace {

using namespace seriallib;

// With parity on the line only seven bits arrive: Kermit then prefixes high bytes.
KermitOptions optionsFor(int port) {
    KermitOptions o;
    detail::PortCall call(port);
    if (call) {
        std::lock_guard lock(call->stateMutex);
        o.parity = call->line.parity != 0 || call->line.dataBits < 8;
    }
    return o;
}

} // namespace

int FileSendKermit(int port, const char* path, TransferProgressCallback callback, int) {
    const KermitOptions options = optionsFor(port);
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!path)
            return int(TransferErrFile);
        TransferContext ctx(channel, &abort, std::move(callback));
        return kermitSend(ctx, {path}, options);
    });
}

int FileReceiveKermit(int port, const char** folder, int, TransferProgressCallback callback, int) {
    const KermitOptions options = optionsFor(port);
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!folder || !*folder)
            return int(TransferErrFile);
        ReceiveFolder target(*folder);
        if (!target.valid())
            return int(TransferErrFile);
        FolderFiles files(target);
        TransferContext ctx(channel, &abort, std::move(callback));
        return kermitReceive(ctx, files, options);
    });
}
