// Runs one of our transfers on a tty, for bench/transfer.sh.
//
//   xfer_bench send|receive xmodem1k|ymodem|zmodem TTY PATH
// PATH is the file to send, or for a receive the file (XMODEM) or folder (YMODEM, ZMODEM).
// Prints "result seconds retries bytes-in bytes-out".

#include "fd_channel.h"
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

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s send|receive xmodem1k|ymodem|zmodem TTY PATH\n", argv[0]);
        return 2;
    }
    bool send = std::strcmp(argv[1], "send") == 0;
    bool ymodem = std::strcmp(argv[2], "ymodem") == 0;
    bool zmodem = std::strcmp(argv[2], "zmodem") == 0;
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
    int result = 0;
    if (zmodem) {
        ReceiveFolder folder(path);
        FolderFiles files(folder);
        result = send ? zmodemSend(ctx, {path}) : zmodemReceive(ctx, files);
    } else {
        result = send ? (ymodem ? ymodemSend(ctx, path) : xmodemSend(ctx, path, XmodemVariant::OneK))
                      : (ymodem ? ymodemReceive(ctx, path) : xmodemReceive(ctx, path, XmodemVariant::OneK));
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Let the last answer leave before the descriptor closes.
    line.drainOutput(Clock::now() + std::chrono::milliseconds(500));
    std::printf("%d %.3f %llu %llu %llu\n", result, seconds,
                static_cast<unsigned long long>(ctx.stats().retries),
                static_cast<unsigned long long>(ctx.stats().bytesIn),
                static_cast<unsigned long long>(ctx.stats().bytesOut));
    return result < 0 ? 1 : 0;
}
