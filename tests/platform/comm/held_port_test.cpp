// Both programs' ways of opening a port, against each other and against C-Kermit, which keeps a
// line of its own through the UUCP lock file alone.
#include "port_map.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "Rs232_setup.h"
#include "seriallib.h"
#include "uucp_lock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kPort = 5;

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One program's way in: halvic through the serial library, the configurator through its link.
struct Road {
    const char* name;
    std::function<bool()> open; // true when the port opened
    std::function<bool()> refusedAsOccupied;
    std::function<void()> close;
};

const Road kHalvic{"Halvic", [] { return SerialOpen(kPort) == 0; },
                   [] { return SerialOpen(kPort) == SerialErrOccupied; }, [] { SerialClose(kPort); }};

const Road kConfigurator{"Configurator",
                         [] {
                             LinkSettings s;
                             s.PortIndex = kPort - 1;
                             s.PortText = "COM" + std::to_string(kPort);
                             SetLinkSettings(s);
                             return OpenComPort() == 1;
                         },
                         [] {
                             LinkSettings s;
                             s.PortIndex = kPort - 1;
                             s.PortText = "COM" + std::to_string(kPort);
                             SetLinkSettings(s);
                             return OpenComPort() == 0 && !ComHandle();
                         },
                         [] { CloseComPort(); }};

// COM5 is a pty; locks go where every serial program looks for them.
class HeldPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("held-port-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        const std::string map = (folder / "ports.conf").string();
        ASSERT_TRUE(portmap::writeEntry(map, kPort, pty.slavePath()));
        ::setenv("BREL_PORT_MAP", map.c_str(), 1);
        ::unsetenv("BREL_LOCK_DIR");
        lockFile = comm::tty::lockFileFor(pty.slavePath());
    }
    void TearDown() override {
        ::unsetenv("BREL_PORT_MAP");
        fs::remove_all(folder);
    }

    comm::PtyPair pty;
    fs::path folder;
    std::string lockFile;
};

std::string hdb(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

class KermitHeldTest : public HeldPortTest, public ::testing::WithParamInterface<Road> {};

TEST_P(KermitHeldTest, RefusedAsOccupiedThenOpensOnceKermitIsGone) {
    const std::string line = pty.slavePath();
    const char* argv[] = {"kermit", "-Y", "-l", line.c_str(), "-C", "pause 60", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    pid_t kermit = 0;
    ASSERT_EQ(::posix_spawnp(&kermit, "kermit", &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const bool locked = ptytest::waitUntil([&] { return contents(lockFile) == hdb(kermit); }, 5000ms);
    const bool refused = locked && GetParam().refusedAsOccupied();
    ::kill(kermit, SIGKILL);
    ::waitpid(kermit, nullptr, 0);
    ASSERT_TRUE(locked) << "C-Kermit wrote no lock " << lockFile;
    EXPECT_TRUE(refused) << "C-Kermit held " << line;

    // Killed, it leaves its lock behind, now stale; and its TIOCEXCL, which our pair's own slave
    // keeps on the tty (root opens through it anyway, a user would not).
    ::ioctl(pty.slave(), TIOCNXCL);
    ASSERT_EQ(contents(lockFile), hdb(kermit));
    ASSERT_TRUE(GetParam().open()) << "a stale lock is replaced";
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    GetParam().close();
    EXPECT_FALSE(fs::exists(lockFile)) << "no lock remains after close";
}

INSTANTIATE_TEST_SUITE_P(Roads, KermitHeldTest, ::testing::Values(kHalvic, kConfigurator),
                         [](const auto& info) { return std::string(info.param.name); });

struct Holding {
    const char* name;
    Road holder;
    Road other;
};

class EachRefusesTheOtherTest : public HeldPortTest, public ::testing::WithParamInterface<Holding> {};

TEST_P(EachRefusesTheOtherTest, UntilTheHolderCloses) {
    const Holding& h = GetParam();
    ASSERT_TRUE(h.holder.open());
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    EXPECT_TRUE(h.other.refusedAsOccupied());
    EXPECT_EQ(contents(lockFile), hdb(::getpid())) << "the refused open leaves the holder's lock";
    h.holder.close();
    EXPECT_FALSE(fs::exists(lockFile));
    ASSERT_TRUE(h.other.open());
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    h.other.close();
    EXPECT_FALSE(fs::exists(lockFile));
}

INSTANTIATE_TEST_SUITE_P(Programs, EachRefusesTheOtherTest,
                         ::testing::Values(Holding{"HalvicHolds", kHalvic, kConfigurator},
                                           Holding{"ConfiguratorHolds", kConfigurator, kHalvic}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
