#include "comm_port.h"
#include "pty_helpers.h"
#include "pty_pair.h"
#include "tty_device.h"
#include "uucp_lock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string hdb(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeLock(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// A PID no process has: a child that has exited and been reaped.
pid_t goneProcess() {
    pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// The lock folder of one test: the system's /run/lock is left alone.
class LockFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("locks-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        ::setenv("BREL_LOCK_DIR", folder.c_str(), 1);
        lockFile = (folder / ("LCK.." + fs::path(pty.slavePath()).filename().string())).string();
    }
    void TearDown() override {
        ::unsetenv("BREL_LOCK_DIR");
        fs::remove_all(folder);
    }
    size_t filesInFolder() const {
        return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }

    comm::PtyPair pty;
    fs::path folder;
    std::string lockFile;
};

TEST_F(LockFolderTest, OpenWritesHdbLockReadableByAllAndCloseRemovesIt) {
    auto port = comm::openPort(pty.slavePath());
    ASSERT_TRUE(port) << std::strerror(errno);
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    struct stat st {};
    ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(filesInFolder(), 1u) << "only the lock itself stays";
    port.reset();
    EXPECT_FALSE(fs::exists(lockFile));
    EXPECT_EQ(filesInFolder(), 0u);
}

TEST_F(LockFolderTest, LinkIsLockedByTheDevicesRealName) {
    const fs::path link = folder / "usb-Maker_Modem_0001-if00";
    fs::create_symlink(pty.slavePath(), link);
    EXPECT_EQ(comm::tty::lockFileFor(link), lockFile);
    auto port = comm::openPort(link);
    ASSERT_TRUE(port) << std::strerror(errno);
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    EXPECT_FALSE(fs::exists(folder / "LCK..usb-Maker_Modem_0001-if00"));
    EXPECT_FALSE(comm::openPort(pty.slavePath())) << "the same device under its own name";
}

TEST_F(LockFolderTest, StaleLockIsReplacedAndRemovedAtClose) {
    writeLock(lockFile, hdb(goneProcess()));
    auto port = comm::openPort(pty.slavePath());
    ASSERT_TRUE(port) << std::strerror(errno);
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
    port.reset();
    EXPECT_FALSE(fs::exists(lockFile));
}

TEST_F(LockFolderTest, LeftoversOfACrashedProgramWithOurPidAreNoObstacle) {
    for (int n = 0; n < 64; ++n)
        writeLock((folder / ("LTMP." + std::to_string(::getpid()) + "." + std::to_string(n))).string(), "");
    auto port = comm::openPort(pty.slavePath());
    ASSERT_TRUE(port) << std::strerror(errno);
    EXPECT_EQ(contents(lockFile), hdb(::getpid()));
}

struct LiveLock {
    const char* name;
    // The lock's text; a child that lives through the test is given for kChild.
    std::function<std::string(pid_t child)> text;
};

class LiveLockTest : public LockFolderTest, public ::testing::WithParamInterface<LiveLock> {};

TEST_P(LiveLockTest, RefusesTheOpenAndLeavesTheLock) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string text = GetParam().text(child);
    writeLock(lockFile, text);
    errno = 0;
    EXPECT_FALSE(comm::openPort(pty.slavePath()));
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(contents(lockFile), text);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

INSTANTIATE_TEST_SUITE_P(Owners, LiveLockTest,
                         ::testing::Values(LiveLock{"AnotherProgram", [](pid_t child) { return hdb(child); }},
                                           LiveLock{"ThisProgram", [](pid_t) { return hdb(::getpid()); }},
                                           LiveLock{"UnpaddedPid",
                                                    [](pid_t child) { return std::to_string(child) + "\n"; }},
                                           // Another program between creating its lock and writing its PID.
                                           LiveLock{"BeingWritten", [](pid_t) { return std::string(); }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LockFolderTest, UnwritableFolderIsSaidOnceAndPortsStillOpenExclusively) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(pipe[1], 2);
        ::setenv("BREL_LOCK_DIR", (folder / "missing").c_str(), 1);
        bool ok = true;
        for (int round = 0; round < 2; ++round) {
            auto port = comm::openPort(pty.slavePath());
            ok = ok && port && !comm::openPort(pty.slavePath());
        }
        ::_exit(ok ? 0 : 1);
    }
    ::close(pipe[1]);
    std::string said = ptytest::take(pipe[0], 4096, 5000);
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "opened twice, each time alone";
    const std::string line = (folder / "missing").string() + ": cannot write serial port lock files";
    ASSERT_NE(said.find(line), std::string::npos) << said;
    EXPECT_EQ(said.find(line, said.find(line) + 1), std::string::npos) << "said once: " << said;
}

TEST_F(LockFolderTest, PtyPairPassesOverLockedSlaves) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    // The names the system hands out next (the lowest free ones), locked by a live program.
    std::vector<std::string> locked;
    {
        comm::PtyPair probes[3];
        for (const auto& probe : probes)
            locked.push_back(comm::tty::lockFileFor(probe.slavePath()));
    }
    for (const auto& file : locked)
        writeLock(file, hdb(child));
    comm::PtyPair other;
    EXPECT_FALSE(comm::tty::lockedByLiveProcess(other.slavePath())) << other.slavePath();
    auto port = comm::openPort(other.slavePath());
    EXPECT_TRUE(port) << other.slavePath() << ": " << std::strerror(errno);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

struct OwnerText {
    const char* name;
    std::string text;
    pid_t pid;
};

class LockOwnerTest : public ::testing::TestWithParam<OwnerText> {};

TEST_P(LockOwnerTest, ReadsThePid) {
    EXPECT_EQ(comm::tty::lockOwner(GetParam().text), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(Texts, LockOwnerTest,
                         ::testing::Values(OwnerText{"Hdb", "     20570\n", 20570},
                                           OwnerText{"Unpadded", "20570\n", 20570},
                                           OwnerText{"NoNewline", "     20570", 20570},
                                           OwnerText{"Binary", std::string("\x5a\x50\x00\x00", 4), 20570},
                                           OwnerText{"Empty", "", 0}, OwnerText{"Zero", "         0\n", 0},
                                           OwnerText{"Words", "kermit\n", 0},
                                           OwnerText{"TrailingJunk", "     20570 x\n", 0},
                                           OwnerText{"TooLarge", "99999999999\n", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
