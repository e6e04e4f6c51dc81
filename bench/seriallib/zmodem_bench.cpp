// Runs our ZMODEM sender or receiver on a tty, for bench/transfer_zmodem.sh.
//
//   zmodem_bench send|receive TTY PATH
// PATH is the file to send, or the folder to receive into.
// Prints "result seconds retries bytes-in bytes-out".

#include "fd_channel.h"
#include "receive_folder.h"
#include "transfer_context.h"
#include "zmodem_session.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace seriallib;

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "send") != 0 && std::strcmp(argv[1], "receive") != 0)) {
        std::fprintf(stderr, "usage: %s send|receive TTY PATH\n", argv[0]);
        return 2;
    }
    const bool send = std::strcmp(argv[1], "send") == 0;
    const int fd = ::open(argv[2], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[2]);
        return 2;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    FdChannel line(fd, true);
    TransferContext ctx(line, nullptr, {});
    ReceiveFolder folder(argv[3]);
    FolderFiles files(folder);
    const auto start = Clock::now();
    const int result = send ? zmodemSend(ctx, {argv[3]}) : zmodemReceive(ctx, files);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // Let the last answer leave before the descriptor closes.
    line.drainOutput(Clock::now() + std::chrono::milliseconds(500));
    std::printf("%d %.3f %llu %llu %llu\n", result, seconds,
                static_cast<unsigned long long>(ctx.stats().retries),
                static_cast<unsigned long long>(ctx.stats().bytesIn),
                static_cast<unsigned long long>(ctx.stats().bytesOut));
    return result < 0 ? 1 : 0;
}
