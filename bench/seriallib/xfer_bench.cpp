// Runs one of our transfers on a tty, for bench/transfer.sh and bench/noisy.sh.
//
//   xfer_bench [--port] send|receive xmodem1k|ymodem|zmodem|kermit TTY PATH
// PATH is the file to send, or for a receive the file (XMODEM) or folder (the batch protocols).
// Kermit offers long packets and sliding windows, as it does by default.
// Prints "result seconds retries bytes-in bytes-out".
// With --port the transfer goes through the library's entry points (SerialOpen, File*) on a port
// mapped to TTY, as a program using the library runs it; the counts are then 0.

#include "fd_channel.h"
#include "kermit_session.h"
#include "receive_folder.h"
#include "seriallib.h"
#include "transfer_context.h"
#include "xmodem.h"
#include "zmodem_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
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

constexpr int kPort = 1;
constexpr int kBaud115200 = 16;

// The same transfer through the entry points, on a port that a map of its own points at TTY.
int runOnPort(bool send, const std::string& protocol, const std::string& tty, const std::string& path) {
    const std::string map = "/tmp/xfer_bench_ports." + std::to_string(::getpid());
    std::ofstream(map) << "COM" << kPort << "=" << tty << "\n";
    ::setenv("BREL_PORT_MAP", map.c_str(), 1);
    int result = SerialOpen(kPort);
    ::unlink(map.c_str());
    if (result != 0)
        return result;
    result = SerialSetLine(kPort, kBaud115200, SerialData8);
    const char* folder = path.c_str();
    if (result == 0 && protocol == "xmodem1k")
        result = send ? FileSendXmodem1KCrc(kPort, folder, nullptr, 0)
                      : FileReceiveXmodem1KCrc(kPort, folder, nullptr, 0);
    else if (result == 0 && protocol == "ymodem")
        result = send ? FileSendYmodem(kPort, folder, nullptr, 0)
                      : FileReceiveYmodem(kPort, &folder, 0, nullptr, 0);
    else if (result == 0 && protocol == "zmodem")
        result = send ? FileSendZmodem(kPort, folder, nullptr, 0)
                      : FileReceiveZmodem(kPort, &folder, 0, nullptr, 0);
    else if (result == 0)
        result = send ? FileSendKermit(kPort, folder, nullptr, 0)
                      : FileReceiveKermit(kPort, &folder, 0, nullptr, 0);
    // Let the last answer leave before the port closes.
    SerialFlush(kPort, 1);
    SerialClose(kPort);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const bool port = argc > 1 && std::strcmp(argv[1], "--port") == 0;
    if (port) {
        --argc;
        ++argv;
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s [--port] send|receive xmodem1k|ymodem|zmodem|kermit TTY PATH\n",
                     argv[0]);
        return 2;
    }
    bool send = std::strcmp(argv[1], "send") == 0;
    std::string protocol = argv[2];
    if (protocol != "xmodem1k" && protocol != "ymodem" && protocol != "zmodem" && protocol != "kermit") {
        std::fprintf(stderr, "%s: unknown protocol %s\n", argv[0], argv[2]);
        return 2;
    }
    if (port) {
        auto start = Clock::now();
        int result = runOnPort(send, protocol, argv[3], argv[4]);
        std::printf("%d %.3f 0 0 0\n", result, std::chrono::duration<double>(Clock::now() - start).count());
        return result < 0 ? 1 : 0;
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
