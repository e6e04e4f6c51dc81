// The q86sim program: publishes its pty in the port map, answers there, cleans up on SIGTERM.

#include "comm_port.h"
#include "firmware_image.h"
#include "sim_fixture.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace q86sim::test {
namespace {

using namespace std::chrono_literals;

std::string program() {
    return Q86SIM_PROGRAM;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Running {
    pid_t pid = -1;
    FILE* out = nullptr;
    std::string device;
};

// Starts the program with its stdout on a pipe and reads the device path it prints.
Running launch(std::vector<std::string> args) {
    Running r;
    int fds[2];
    if (::pipe(fds) != 0) {
        return r;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    args.insert(args.begin(), program());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&r.pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        r.pid = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    ::close(fds[1]);
    r.out = ::fdopen(fds[0], "r");
    char line[256] = {};
    if (r.out && std::fgets(line, sizeof line, r.out)) {
        r.device = line;
        while (!r.device.empty() && r.device.back() == '\n') {
            r.device.pop_back();
        }
    }
    return r;
}

int finish(Running& r) {
    int status = 0;
    ::waitpid(r.pid, &status, 0);
    if (r.out) {
        std::fclose(r.out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SimOnPty, ProgramPublishesAnswersAndCleansUp) {
    Running r = launch({"--port", "3", "--map", mapFile, "--quiet", "--firmware", "1.0.1", "--baud", "9600"});
    ASSERT_GT(r.pid, 0);
    ASSERT_EQ(r.device.rfind("/dev/pts/", 0), 0u) << r.device;
    const std::string entry = readFile(mapFile);
    const std::string prefix = "COM3=" + r.device + ";lines=/";
    ASSERT_EQ(entry.substr(0, prefix.size()), prefix) << entry;
    const std::string lines = portmap::parseMapFile(entry).entries[3].lines;
    EXPECT_TRUE(std::filesystem::is_regular_file(lines)) << lines;

    ASSERT_EQ(open(5), 1);
    EXPECT_EQ(SendAtExpectOk("at\r\n", 4), 1);
    const std::string apver = exchange("at*apver\r\n");
    EXPECT_NE(apver.find("BREL Q8690I v1.0.1 build"), std::string::npos) << apver;
    CloseComPort();

    ::kill(r.pid, SIGTERM);
    EXPECT_EQ(finish(r), 0);
    EXPECT_EQ(readFile(mapFile).find("COM3="), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(lines).parent_path())) << lines;
}

// Across processes the modem's lines reach the configurator's link through the shared-lines file.
TEST_F(SimOnPty, ProgramsLinesReachTheLinkInAnotherProcess) {
    Running r = launch({"--port", "3", "--map", mapFile, "--quiet", "--dcd-on-escape", "--no-cts"});
    ASSERT_GT(r.pid, 0);
    ASSERT_EQ(open(9), 1);
    EXPECT_EQ(IsDcdOn(), 0);
    WriteCommand("+++", 3);
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (IsDcdOn() == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(IsDcdOn(), 1) << "the escape raised the carrier";
    CloseComPort();
    auto port = comm::openPort("COM3");
    ASSERT_TRUE(port);
    uint32_t status = 0;
    ASSERT_TRUE(port->getModemStatus(&status));
    EXPECT_EQ(status, comm::MsDsrOn | comm::MsRlsdOn) << "--no-cts";
    port.reset();

    ::kill(r.pid, SIGTERM);
    EXPECT_EQ(finish(r), 0);
}

struct OptionsRow {
    const char* name;
    std::vector<std::string> args;
};

class ProgramOptions : public SimOnPty, public testing::WithParamInterface<OptionsRow> {};

TEST_P(ProgramOptions, ProgramRefusesBadOptions) {
    Running r = launch(GetParam().args);
    ASSERT_GT(r.pid, 0);
    EXPECT_TRUE(r.device.empty());
    EXPECT_EQ(finish(r), 2);
}

INSTANTIATE_TEST_SUITE_P(Bad, ProgramOptions,
                         testing::Values(OptionsRow{"UnknownRate", {"--baud", "1234"}},
                                         OptionsRow{"BadFraming", {"--framing", "9X1"}},
                                         OptionsRow{"PortZero", {"--port", "0"}},
                                         OptionsRow{"BadSimState", {"--sim", "maybe"}},
                                         OptionsRow{"FramingTheModemHasNot", {"--framing", "8E2"}},
                                         OptionsRow{"UnknownOption", {"--bogus"}}),
                         [](const testing::TestParamInfo<OptionsRow>& i) {
                             return std::string(i.param.name);
                         });

TEST(ImageProgram, WritesAnImageTheModemOfItsModelTakes) {
    char pattern[] = "/tmp/q86sim-image-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string file = std::string(pattern) + "/fw.img";
    const std::string tool = Q86SIM_IMAGE;
    ASSERT_EQ(std::system((tool + " --model Q8630 --size 3000 " + file).c_str()), 0);
    std::ifstream in(file, std::ios::binary);
    const std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(image.size(), 3128u);
    EXPECT_EQ(CheckImage(image, Model::Q8630), FirmwareFit::Fits);
    EXPECT_EQ(CheckImage(image, Model::Q8690I), FirmwareFit::OtherModel);
    for (const char* bad : {" --model Q9", " --size x", ""}) {
        const int status = std::system((tool + bad + " 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
    ::unlink(file.c_str());
    ::rmdir(pattern);
}

} // namespace
} // namespace q86sim::test
