// The Kermit entry points of the serial library: the engines on an open port's channel.

#include "kermit_session.h"
#include "port_transfer.h"
#include "serial_port_table.h"
#include "seriallib.h"

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
    return sendFromPort(port, path, std::move(callback), [&](TransferContext& ctx, const std::string& file) {
        return kermitSend(ctx, {file}, options);
    });
}

int FileReceiveKermit(int port, const char** folder, int, TransferProgressCallback callback, int) {
    const KermitOptions options = optionsFor(port);
    return receiveIntoFolder(
        port, folder, std::move(callback),
        [&](TransferContext& ctx, IncomingFiles& files) { return kermitReceive(ctx, files, options); });
}
