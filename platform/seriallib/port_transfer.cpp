#include "port_transfer.h"

#include "port_channel.h"

int seriallib::sendFromPort(int port, const char* path, TransferProgressCallback callback,
                            const std::function<int(TransferContext&, const std::string&)>& send) {
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!path)
            return int(TransferErrFile);
        TransferContext ctx(channel, &abort, std::move(callback));
        return send(ctx, path);
    });
}

int seriallib::receiveIntoFolder(int port, const char** folder, TransferProgressCallback callback,
                                 const std::function<int(TransferContext&, IncomingFiles&)>& receive) {
    return withPortChannel(port, [&](ByteChannel& channel, PortAbort& abort) {
        if (!folder || !*folder)
            return int(TransferErrFile);
        ReceiveFolder target(*folder);
        if (!target.valid())
            return int(TransferErrFile);
        FolderFiles files(target);
        TransferContext ctx(channel, &abort, std::move(callback));
        return receive(ctx, files);
    });
}
