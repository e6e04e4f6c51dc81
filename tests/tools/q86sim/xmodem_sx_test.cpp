// A firmware image sent by an independent XMODEM sender (lrzsz's sx) into the modem behind "at*upg".

#include "sim_fixture.h"

#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace q86sim::test {
namespace {

using namespace std::chrono_literals;

std::string imageFile(std::size_t payloadSize) {
    std::mt19937 rng(5);
    std::string payload(payloadSize, '\0');
    uint32_t sum = 0;
    uint32_t complement = 0;
    for (char& c : payload) {
        c = static_cast<char>(rng() & 0xFF);
        sum += static_cast<unsigned char>(c);
        complement += 255u - static_cast<unsigned char>(c);
    }
    std::string h(128, '\0');
    h[0] = h[1] = 4;
    h[3] = 1; // model code 0x0001
    auto put = [&h](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
        }
    };
    put(8, static_cast<uint32_t>(payloadSize));
    put(12, sum);
    put(16, complement);
    return h + payload;
}

// Runs a program with its standard input and output on the device; returns its pid.
pid_t spawnOnDevice(const std::vector<std::string>& argv, const std::string& device) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, device.c_str(), O_RDWR | O_NOCTTY, 0);
    posix_spawn_file_actions_adddup2(&fa, 0, 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits for the process to end; kills it after the time-out. Its exit status, or -1 when killed.
int reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(20ms); // polling a child: no event to wait on
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

struct Upload {
    const char* name;
    bool oneK;
    int nakBlockOnce;
};

class SxUpload : public SimOnPty, public testing::WithParamInterface<Upload> {};

TEST_P(SxUpload, ImageArrivesWholeAndTheModemReportsItsVerdict) {
    if (::access("/usr/bin/sx", X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    const Upload u = GetParam();
    startModem(with([&u](Scenario& s) {
        s.upgradeStepMs = 500;
        s.xmodemNakBlockOnce = u.nakBlockOnce;
    }));
    const std::string file = imageFile(3000);
    const std::string path = (dir / "image.img").string();
    std::ofstream(path, std::ios::binary) << file;

    ASSERT_EQ(open(), 1);
    WriteCommand("at*upg\r\n", 8);
    ASSERT_TRUE(modem->waitForCommand("at*upg", 2s));
    PurgeReceive(); // the echo
    CloseComPort();

    std::vector<std::string> argv = {"sx"};
    if (u.oneK) {
        argv.push_back("-k");
    }
    argv.push_back(path);
    const pid_t sx = spawnOnDevice(argv, modem->devicePath());
    ASSERT_GT(sx, 0);
    const bool done = modem->waitFor([](const Modem& m) { return m.lastTransfer().finished(); }, 20s);
    reap(sx, 5s); // lrzsz may lose its last bytes on a pty: the file and the verdict decide
    ASSERT_TRUE(done);
    ASSERT_EQ(modem->transferState(), XmodemReceiver::State::Done);

    const std::string got = modem->transferData();
    ASSERT_GE(got.size(), file.size());
    EXPECT_EQ(got.substr(0, file.size()), file);
    EXPECT_LT(got.size() - file.size(), 1024u);
    EXPECT_EQ(got.find_first_not_of('\x1a', file.size()), std::string::npos); // padding only
    int naks = -1;
    modem->withModem([&naks](Modem& m) { naks = m.lastTransfer().naks(); });
    EXPECT_EQ(naks, u.nakBlockOnce > 0 ? 1 : 0); // and the sender repeated that block

    ASSERT_EQ(open(), 1);
    EXPECT_EQ(WaitForReply("up OK", 30), 1);
    EXPECT_EQ(modem->firmwareVersion(), "2.1.0");
}

INSTANTIATE_TEST_SUITE_P(Blocks, SxUpload,
                         testing::Values(Upload{"Blocks128", false, -1}, Upload{"Blocks1K", true, -1},
                                         Upload{"ThirdBlockNakedOnce", false, 3}),
                         [](const testing::TestParamInfo<Upload>& i) { return i.param.name; });

TEST_F(SimOnPty, SxCancelledByTheModemLeavesItInCommandMode) {
    if (::access("/usr/bin/sx", X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    startModem(with([](Scenario& s) { s.xmodemCancelAtBlock = 2; }));
    const std::string path = (dir / "image.img").string();
    std::ofstream(path, std::ios::binary) << imageFile(1000);
    ASSERT_EQ(open(), 1);
    WriteCommand("at*upg\r\n", 8);
    ASSERT_TRUE(modem->waitForCommand("at*upg", 2s));
    CloseComPort();
    const pid_t sx = spawnOnDevice({"sx", path}, modem->devicePath());
    ASSERT_GT(sx, 0);
    ASSERT_TRUE(modem->waitFor([](const Modem& m) { return m.lastTransfer().finished(); }, 20s));
    EXPECT_NE(reap(sx, 10s), 0); // the sender saw the cancel
    EXPECT_EQ(modem->transferState(), XmodemReceiver::State::Failed);
    ASSERT_EQ(open(), 1);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int answered = 0;
    while (!answered && std::chrono::steady_clock::now() < deadline) {
        answered = SendAtExpectOkTries("at\r\n", 4, 2);
    }
    EXPECT_EQ(answered, 1);
}

} // namespace
} // namespace q86sim::test
