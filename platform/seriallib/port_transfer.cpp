#include "port_transfer.h"

#include "port_channel.h"

int seriallib::runOnPort(int port, TransferProgressCallback callback,
                         const std::function<int(TransferContext&)>& body) {
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        TransferContext ctx(channel, &abort, std::move(callback));
        return body(ctx);
    });
}

// The checks run on the port's channel, so a port that is not open says so first.
int seriallib::sendFromPort(int port, const char* path, TransferProgressCallback callback,
                            const std::function<int(TransferContext&, const std::string&)>& send) {
    return runOnPort(port, std::move(callback),
                     [&](TransferContext& ctx) { return path ? send(ctx, path) : int(TransferErrFile); });
}

int seriallib::receiveIntoFolder(int port, const char** folder, TransferProgressCallback callback,
                                 const std::function<int(TransferContext&, IncomingFiles&)>& receive) {
    return runOnPort(port, std::move(callback), [&](TransferContext& ctx) {
        if (!folder || !*folder)
            return int(TransferErrFile);
        ReceiveFolder target(*folder);
        if (!target.valid())
            return int(TransferErrFile);
        FolderFiles files(target);
        return receive(ctx, files);
    });
}
