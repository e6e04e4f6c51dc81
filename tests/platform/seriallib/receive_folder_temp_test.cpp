// Temporary files of a receive: nothing outlives a killed process, and what an older version (or a
// file system without unnamed files) left behind goes when the folder is next used.

#include "receive_folder.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace seriallib;
using transfer_test::readFile;
using transfer_test::ScratchDir;
using transfer_test::writeFile;

namespace {

bool folderHoldsUnnamedFiles(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

// A process id that no process has any more.
pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

TEST(ReceiveTempFiles, AKilledReceiveLeavesNothingBehind) {
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace);
        ScratchDir dir;
        if (!folderHoldsUnnamedFiles(dir.path()))
            GTEST_SKIP() << "the file system has no unnamed files";
        writeFile(dir.file("old"), {'o', 'l', 'd'});
        const pid_t child = ::fork();
        if (child == 0) {
            IncomingFile f =
                replace ? IncomingFile::forPath(dir.file("old")) : ReceiveFolder(dir.path()).begin("new");
            const std::vector<uint8_t> data(100000, 'x');
            if (f.valid() && f.write(data.data(), data.size()))
                ::raise(SIGKILL);
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not start its file";
        EXPECT_EQ(dir.names(), std::vector<std::string>{"old"});
        EXPECT_EQ(readFile(dir.file("old")), std::vector<uint8_t>({'o', 'l', 'd'}));
    }
}

TEST(ReceiveTempFiles, AFileInProgressIsNotInTheFolderUntilCommitted) {
    ScratchDir dir;
    if (!folderHoldsUnnamedFiles(dir.path()))
        GTEST_SKIP() << "the file system has no unnamed files";
    writeFile(dir.file("f"), {'1'});
    IncomingFile f = ReceiveFolder(dir.path()).begin("f");
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(f.write(reinterpret_cast<const uint8_t*>("new"), 3));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"f"});
    EXPECT_EQ(f.commit(), dir.file("f (1)"));
    EXPECT_EQ(dir.names(), std::vector<std::string>({"f", "f (1)"}));
    EXPECT_EQ(readFile(dir.file("f (1)")), std::vector<uint8_t>({'n', 'e', 'w'}));

    IncomingFile g = IncomingFile::forPath(dir.file("f"));
    ASSERT_TRUE(g.valid());
    ASSERT_TRUE(g.write(reinterpret_cast<const uint8_t*>("22"), 2));
    EXPECT_EQ(dir.names(), std::vector<std::string>({"f", "f (1)"}));
    EXPECT_EQ(g.commit(), dir.file("f"));
    EXPECT_EQ(dir.names(), std::vector<std::string>({"f", "f (1)"}));
    EXPECT_EQ(readFile(dir.file("f")), std::vector<uint8_t>({'2', '2'}));
}

TEST(ReceiveTempFiles, StaleOnesOfDeadProcessesGoWhenTheFolderIsNextUsed) {
    const std::string dead = std::to_string(deadPid());
    const std::string alive = std::to_string(::getppid());
    const std::vector<std::string> kept = {
        "." + alive + "-3.part",     // its process still runs
        "." + dead + "-1.part.keep", // not our naming
        dead + "-1.part",            // not hidden
        ".x" + dead + "-1.part",     // not our naming
        "." + dead + ".part",        // not our naming
        "." + dead + "-dir.part",    // not our naming
    };
    for (bool viaPath : {false, true}) {
        SCOPED_TRACE(viaPath);
        ScratchDir dir;
        for (const auto& name : kept)
            writeFile(dir.file(name), {'k'});
        writeFile(dir.file("." + dead + "-0.part"), {'s'});
        writeFile(dir.file("." + dead + "-12.part"), {'s'});
        ASSERT_EQ(::mkdir(dir.file("." + dead + "-7.part").c_str(), 0755), 0); // not a file: kept
        IncomingFile f =
            viaPath ? IncomingFile::forPath(dir.file("target")) : ReceiveFolder(dir.path()).begin("t");
        ASSERT_TRUE(f.valid());
        auto want = kept;
        want.push_back("." + dead + "-7.part");
        std::sort(want.begin(), want.end());
        EXPECT_EQ(dir.names(), want);
        f.discard();
    }
}

} // namespace
