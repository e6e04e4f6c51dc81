// The File* entry points for ASCII, XMODEM and YMODEM: each runs its protocol on the port's channel.
// The abort key argument has no use on this platform: a transfer is stopped through the progress
// callback or SerialAbortTransmit / SerialAbortReceive.

#include "ascii.h"
#include "port_transfer.h"
#include "seriallib.h"
#include "xmodem.h"

#include <functional>
#include <string>

using namespace seriallib;

namespace {

constexpr int kDefaultIdleSeconds = 30;

int sendXmodem(int port, const char* path, TransferProgressCallback callback, XmodemVariant variant) {
    if (!path)
        return TransferErrFile;
    std::string file(path);
    return runOnPort(port, std::move(callback),
                     [&](TransferContext& ctx) { return xmodemSend(ctx, file, variant); });
}

int receiveXmodem(int port, const char* path, TransferProgressCallback callback, XmodemVariant variant) {
    if (!path)
        return TransferErrFile;
    std::string file(path);
    return runOnPort(port, std::move(callback),
                     [&](TransferContext& ctx) { return xmodemReceive(ctx, file, variant); });
}

} // namespace

int FileSendAscii(int port, const char* path, TransferProgressCallback callback, int) {
    if (!path)
        return TransferErrFile;
    std::string file(path);
    return runOnPort(port, std::move(callback), [&](TransferContext& ctx) { return asciiSend(ctx, file); });
}

int FileReceiveAscii(int port, const char* path, TransferProgressCallback callback, int, int idleSeconds) {
    if (!path)
        return TransferErrFile;
    std::string file(path);
    auto idle = std::chrono::seconds(idleSeconds > 0 ? idleSeconds : kDefaultIdleSeconds);
    return runOnPort(port, std::move(callback),
                     [&](TransferContext& ctx) { return asciiReceive(ctx, file, idle); });
}

int FileSendXmodemChecksum(int port, const char* path, TransferProgressCallback callback, int) {
    return sendXmodem(port, path, std::move(callback), XmodemVariant::Checksum);
}
int FileSendXmodemCrc(int port, const char* path, TransferProgressCallback callback, int) {
    return sendXmodem(port, path, std::move(callback), XmodemVariant::Crc);
}
int FileSendXmodem1KCrc(int port, const char* path, TransferProgressCallback callback, int) {
    return sendXmodem(port, path, std::move(callback), XmodemVariant::OneK);
}

int FileReceiveXmodemChecksum(int port, const char* path, TransferProgressCallback callback, int) {
    return receiveXmodem(port, path, std::move(callback), XmodemVariant::Checksum);
}
int FileReceiveXmodemCrc(int port, const char* path, TransferProgressCallback callback, int) {
    return receiveXmodem(port, path, std::move(callback), XmodemVariant::Crc);
}
int FileReceiveXmodem1KCrc(int port, const char* path, TransferProgressCallback callback, int) {
    return receiveXmodem(port, path, std::move(callback), XmodemVariant::OneK);
}

int FileSendYmodem(int port, const char* path, TransferProgressCallback callback, int) {
    if (!path)
        return TransferErrFile;
    std::string file(path);
    return runOnPort(port, std::move(callback), [&](TransferContext& ctx) { return ymodemSend(ctx, file); });
}

int FileReceiveYmodem(int port, const char** folder, int, TransferProgressCallback callback, int) {
    if (!folder || !*folder)
        return TransferErrFile;
    std::string path(*folder);
    return runOnPort(port, std::move(callback),
                     [&](TransferContext& ctx) { return ymodemReceive(ctx, path); });
}
