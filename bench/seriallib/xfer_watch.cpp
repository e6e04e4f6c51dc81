// Watches a transfer for bench/transfer.sh without a process per look:
//
//   xfer_watch PID FILE SIZE LIMIT-SECONDS
// prints the wall-clock time (seconds since the epoch) at which FILE first had SIZE bytes or the
// receiving process PID ended, whichever came first, and then "complete", "left" or "limit".
// A receiver that lingers over its goodbye does not count against it.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

namespace {

// Gone, or a zombie its parent has not collected yet.
bool ended(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return true;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return true;
    char state = 0;
    const bool read = std::fscanf(f, "%*d (%*[^)]) %c", &state) == 1;
    std::fclose(f);
    return !read || state == 'Z';
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PID FILE SIZE LIMIT-SECONDS\n", argv[0]);
        return 2;
    }
    const pid_t pid = pid_t(std::atol(argv[1]));
    const auto size = std::strtoull(argv[3], nullptr, 10);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::atof(argv[4]));
    const char* how = "limit";
    while (std::chrono::steady_clock::now() < limit) {
        struct stat st {};
        if (::stat(argv[2], &st) == 0 && static_cast<unsigned long long>(st.st_size) == size) {
            how = "complete";
            break;
        }
        if (ended(pid)) {
            how = "left";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::printf("%.6f %s\n", std::chrono::duration<double>(now).count(), how);
    return 0;
}
