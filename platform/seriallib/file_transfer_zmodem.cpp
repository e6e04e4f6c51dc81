// The ZMODEM entry points of the serial library: the engines on an open port's channel.

#include "port_transfer.h"
#include "seriallib.h"
#include "zmodem_session.h"

using namespace seriallib;

int FileSendZmodem(int port, const char* path, TransferProgressCallback callback, int) {
    return sendFromPort(port, path, std::move(callback), [](TransferContext& ctx, const std::string& file) {
        return zmodemSend(ctx, {file});
    });
}

int FileReceiveZmodem(int port, const char** folder, int, TransferProgressCallback callback, int) {
    return receiveIntoFolder(
        port, folder, std::move(callback),
        [](TransferContext& ctx, IncomingFiles& files) { return zmodemReceive(ctx, files); });
}

// The terminal's detector has already taken the sender's ZRQINIT off the line; the receiver
// opens with ZRINIT, which is what that sender is waiting for.
int FileReceiveZmodemAuto(int port, const char** folder, int, TransferProgressCallback callback, int) {
    return FileReceiveZmodem(port, folder, 0, std::move(callback), 0);
}
