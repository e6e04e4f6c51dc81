// Runs one of our transfers on a tty, for bench/transfer.sh and bench/noisy.sh.
//
//   xfer_bench send|receive xmodem1k|ymodem|zmodem|kermit TTY PATH
// PATH is the file to send, or for a receive the file (XMODEM) or folder (the batch protocols).
// Kermit offers long packets and sliding windows, as it does by default.
// Prints "result seconds retries bytes-in bytes-out".

#include "fd_channel.h"
#include "kermit_session.h"
#include "receive_folder.h"
#include "transfer_context.h"
#include "xmodem.h"
#include "zmodem_session.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

using namespace seriallib;

namespace {

int receiveBatch(TransferContext& ctx, const std::string& protocol, const std::string& folder) {
    if (protocol == "ymodem")
        return ymodemReceive(ctx, folder);
    ReceiveFolder into(folder);
    FolderFiles files(into);
    return protocol == "zmodem" ? zmodemReceive(ctx, files) : kermitReceive(ctx, files);
}

int run(TransferContext& ctx, bool send, const std::string& protocol, const std::string& path) {
    if (protocol == "xmodem1k")
        return send ? xmodemSend(ctx, path, XmodemVariant::OneK)
                    : xmodemReceive(ctx, path, XmodemVariant::OneK);
    if (!send)
        return receiveBatch(ctx, protocol, path);
    if (protocol == "ymodem")
        return ymodemSend(ctx, path);
    return protocol == "zmodem" ? zmodemSend(ctx, {path}) : kermitSend(ctx, {path});
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s send|receive xmodem1k|ymodem|zmodem|kermit TTY PATH\n", argv[0]);
        return 2;
    }
    bool send = std::strcmp(argv[1], "send") == 0;
    std::string protocol = argv[2];
    if (protocol != "xmodem1k" && protocol != "ymodem" && protocol != "zmodem" && protocol != "kermit") {
        std::fprintf(stderr, "%s: unknown protocol %s\n", argv[0], argv[2]);
        return 2;
    }
    int fd = ::open(argv[3], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[3]);
        return 2;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    FdChannel line(fd, true);
    TransferContext ctx(line, nullptr, {});
    std::string path = argv[4];
    auto start = Clock::now();
    int result = run(ctx, send, protocol, path);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Let the last answer leave before the descriptor closes.
    line.drainOutput(Clock::now() + std::chrono::milliseconds(500));
    std::printf("%d %.3f %llu %llu %llu\n", result, seconds,
                static_cast<unsigned long long>(ctx.stats().retries),
                static_cast<unsigned long long>(ctx.stats().bytesIn),
                static_cast<unsigned long long>(ctx.stats().bytesOut));
    return result < 0 ? 1 : 0;
}
