#include "port_map.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using portmap::PortMap;

namespace {

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDir {
public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "portmap-XXXXXX").string();
        path_ = ::mkdtemp(templ.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(PortNumber, NameForms) {
    struct Case {
        const char* name;
        int port;
    } cases[] = {
        {"COM1", 1},
        {"COM9", 9},
        {"\\\\.\\COM10", 10},
        {"\\\\.\\\\\\.\\COM100", 100},
        {"\\\\.\\\\.\\COM100", 100},
        {"\\\\.\\COM256", 256},
        {"com7", 7},
        {"Com12", 12},
        {"COM0", 0},
        {"COM257", 0},
        {"COM01", 0},
        {"COM", 0},
        {"COM1x", 0},
        {"COM-1", 0},
        {"COM99999999", 0},
        {"/dev/ttyS0", 0},
        {"", 0},
        {"\\\\.\\", 0},
        {"\\\\.COM3", 0},
        {" COM3", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(portmap::portNumber(c.name), c.port) << c.name;
}

TEST(ParseMapFile, EntriesAndMalformedLines) {
    auto parsed = portmap::parseMapFile("# comment\n"
                                        "COM3=/dev/ttyUSB0\n"
                                        "\n"
                                        "  COM4 = /dev/pts/7 \r\n"
                                        "COM5\n"
                                        "COM0=/dev/x\n"
                                        "COM6=relative\n"
                                        "COM7=\n"
                                        "FOO=/dev/y\n"
                                        "\\\\.\\COM10=/dev/ttyACM0\n"
                                        "COM3=/dev/ttyUSB1"); // later line wins, no final newline
    std::map<int, std::string> expected{{3, "/dev/ttyUSB1"}, {4, "/dev/pts/7"}, {10, "/dev/ttyACM0"}};
    EXPECT_EQ(parsed.entries, expected);
    ASSERT_EQ(parsed.warnings.size(), 5u);
    EXPECT_NE(parsed.warnings[0].find("line 5"), std::string::npos) << parsed.warnings[0];
    EXPECT_NE(parsed.warnings[4].find("line 9"), std::string::npos) << parsed.warnings[4];
}

TEST(ParseMapFile, BinaryGarbageNeverCrashes) {
    std::string garbage;
    for (int i = 0; i < 2000; ++i)
        garbage += static_cast<char>((i * 37) & 0xFF);
    auto parsed = portmap::parseMapFile(garbage);
    EXPECT_TRUE(parsed.entries.empty());
}

TEST(PortMapResolve, MapFirstThenDefault) {
    PortMap map(std::map<int, std::string>{{3, "/dev/ttyUSB0"}, {100, "/dev/pts/4"}});
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM3", "/dev/ttyUSB0"},
        {"\\\\.\\COM10", "/dev/ttyS9"},
        {"\\\\.\\\\\\.\\COM100", "/dev/pts/4"},
        {"\\\\.\\\\.\\COM100", "/dev/pts/4"},
        {"\\\\.\\COM256", "/dev/ttyS255"},
        {"COM257", ""},
        {"/dev/ttyS0", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(map.resolve(c.name), c.path) << c.name;
    EXPECT_EQ(map.devicePath(0), "");
    EXPECT_EQ(map.devicePath(257), "");
}

TEST(MapFilePath, EnvironmentChoosesTheFile) {
    {
        ScopedEnv a("BREL_PORT_MAP", "/some/where/map.conf");
        EXPECT_EQ(portmap::mapFilePath(), "/some/where/map.conf");
    }
    ScopedEnv a("BREL_PORT_MAP", nullptr);
    {
        ScopedEnv b("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(portmap::mapFilePath(), "/cfg/Brel/ports.conf");
    }
    ScopedEnv b("XDG_CONFIG_HOME", nullptr);
    ScopedEnv c("HOME", "/home/u");
    EXPECT_EQ(portmap::mapFilePath(), "/home/u/.config/Brel/ports.conf");
}

TEST(PortMapFile, ReadsTheNamedFileAndWarnsOnBadLines) {
    TempDir dir;
    fs::path file = dir.path() / "ports.conf";
    std::ofstream(file) << "COM2=/dev/pts/9\nbroken line\n";
    ScopedEnv env("BREL_PORT_MAP", file.c_str());
    testing::internal::CaptureStderr();
    PortMap map;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(map.resolve("COM2"), "/dev/pts/9");
    EXPECT_EQ(map.resolve("COM1"), "/dev/ttyS0");
    EXPECT_NE(err.find("broken line"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    PortMap missing((dir.path() / "none.conf").string());
    EXPECT_EQ(missing.resolve("COM2"), "/dev/ttyS1");
}

TEST(WriteEntry, ReplacesAppendsRemovesAndKeepsOtherLines) {
    TempDir dir;
    fs::path file = dir.path() / "sub" / "Brel" / "ports.conf"; // folders created on demand
    ASSERT_TRUE(portmap::writeEntry(file, 4, "/dev/pts/1"));
    EXPECT_EQ(readText(file), "COM4=/dev/pts/1\n");

    std::ofstream(file) << "# mine\nCOM4=/dev/pts/1\nnot a line\nCOM5=/dev/ttyUSB0";
    ASSERT_TRUE(portmap::writeEntry(file, 4, "/dev/pts/2"));
    EXPECT_EQ(readText(file), "# mine\nCOM4=/dev/pts/2\nnot a line\nCOM5=/dev/ttyUSB0\n");
    ASSERT_TRUE(portmap::writeEntry(file, 12, "/dev/pts/3"));
    EXPECT_EQ(readText(file), "# mine\nCOM4=/dev/pts/2\nnot a line\nCOM5=/dev/ttyUSB0\nCOM12=/dev/pts/3\n");
    ASSERT_TRUE(portmap::writeEntry(file, 5, ""));
    EXPECT_EQ(readText(file), "# mine\nCOM4=/dev/pts/2\nnot a line\nCOM12=/dev/pts/3\n");
    EXPECT_EQ(PortMap(file.string()).devicePath(12), "/dev/pts/3");

    // Nothing but the map file and its lock remain beside it.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ports.conf", "ports.conf.lock"}));
}

TEST(WriteEntry, RejectsBadArguments) {
    TempDir dir;
    fs::path file = dir.path() / "ports.conf";
    EXPECT_FALSE(portmap::writeEntry(file, 0, "/dev/x"));
    EXPECT_FALSE(portmap::writeEntry(file, 257, "/dev/x"));
    EXPECT_FALSE(portmap::writeEntry(file, 3, "relative"));
    EXPECT_FALSE(portmap::writeEntry(file, 3, "/dev/x\nCOM4=/dev/y"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(portmap::writeEntry("/proc/no-such-folder/ports.conf", 3, "/dev/x"));
}

TEST(WriteEntry, ConcurrentWritersLoseNoEntry) {
    TempDir dir;
    fs::path file = dir.path() / "ports.conf";
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                portmap::writeEntry(file, 1 + t * 10 + i, "/dev/pts/" + std::to_string(t));
        });
    for (auto& w : writers)
        w.join();
    auto parsed = portmap::parseMapFile(readText(file));
    EXPECT_EQ(parsed.entries.size(), 80u);
    EXPECT_TRUE(parsed.warnings.empty());
}
