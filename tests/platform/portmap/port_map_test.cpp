#include "port_map.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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

namespace {

struct NameRow {
    const char* row;
    const char* name;
    int port;
};

class PortNumber : public testing::TestWithParam<NameRow> {};

TEST_P(PortNumber, NameForms) {
    EXPECT_EQ(portmap::portNumber(GetParam().name), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortNumber,
    testing::Values(NameRow{"Com1", "COM1", 1}, NameRow{"Com9", "COM9", 9},
                    NameRow{"DevicePrefixCom10", "\\\\.\\COM10", 10},
                    NameRow{"DoubledPrefixWithBackslashCom100", "\\\\.\\\\\\.\\COM100", 100},
                    NameRow{"DoubledPrefixCom100", "\\\\.\\\\.\\COM100", 100},
                    NameRow{"DevicePrefixCom256", "\\\\.\\COM256", 256}, NameRow{"LowerCase", "com7", 7},
                    NameRow{"MixedCase", "Com12", 12}, NameRow{"Com0", "COM0", 0},
                    NameRow{"Com257", "COM257", 0}, NameRow{"LeadingZero", "COM01", 0},
                    NameRow{"NoNumber", "COM", 0}, NameRow{"TrailingLetter", "COM1x", 0},
                    NameRow{"Negative", "COM-1", 0}, NameRow{"HugeNumber", "COM99999999", 0},
                    NameRow{"DevicePath", "/dev/ttyS0", 0}, NameRow{"Empty", "", 0},
                    NameRow{"PrefixAlone", "\\\\.\\", 0}, NameRow{"BrokenPrefix", "\\\\.COM3", 0},
                    NameRow{"LeadingBlank", " COM3", 0}),
    [](const testing::TestParamInfo<NameRow>& i) { return std::string(i.param.row); });

} // namespace

TEST(ParseMapFile, EntriesAndMalformedLines) {
    auto parsed = portmap::parseMapFile("# comment\n"
                                        "COM3=/dev/ttyUSB0\n"
                                        "\n"
                                        "  COM4 = /dev/pts/7 \r\n"
                                        "junk\n"
                                        "COM0=/dev/x\n"
                                        "FOO=/dev/y\n"
                                        "\\\\.\\COM10=/dev/ttyACM0\n"
                                        "COM11=/dev/pts/3;lines=/tmp/q/lines\n"
                                        "COM3=/dev/ttyUSB1"); // later line wins, no final newline
    std::map<int, portmap::MapEntry> expected{{3, {"/dev/ttyUSB1", "", ""}},
                                              {4, {"/dev/pts/7", "", ""}},
                                              {10, {"/dev/ttyACM0", "", ""}},
                                              {11, {"/dev/pts/3", "/tmp/q/lines", ""}}};
    EXPECT_EQ(parsed.entries, expected);
    ASSERT_EQ(parsed.warnings.size(), 3u);
    EXPECT_EQ(parsed.warnings[0], "line 5: \"junk\" ignored (expected COMn=/device/path, n 1..256)");
    EXPECT_NE(parsed.warnings[2].find("line 7"), std::string::npos) << parsed.warnings[2];
}

namespace {

struct LineRow {
    const char* name;
    const char* line;
};

class MalformedLine : public testing::TestWithParam<LineRow> {};

TEST_P(MalformedLine, AMalformedLineForAPortKeepsThatPortShut) {
    const std::string line = GetParam().line;
    auto parsed = portmap::parseMapFile("COM6=/dev/ttyUSB0\n" + line + "\n");
    ASSERT_EQ(parsed.entries.count(6), 1u);
    EXPECT_EQ(parsed.entries[6].device, "");
    ASSERT_EQ(parsed.warnings.size(), 1u);
    EXPECT_EQ(parsed.warnings[0], "line 2: \"" + line + "\" is not COMn=/device/path: COM6 will not open");
}

INSTANTIATE_TEST_SUITE_P(ParseMapFile, MalformedLine,
                         testing::Values(LineRow{"RelativePath", "COM6=relative"},
                                         LineRow{"EmptyPath", "COM6="}, LineRow{"NoEquals", "COM6"},
                                         LineRow{"BlankForEquals", "COM6 /dev/ttyS0"},
                                         LineRow{"LinesWithoutDevice", "COM6=;lines=/x"},
                                         LineRow{"EmptyLinesFile", "COM6=/dev/pts/1;lines="},
                                         LineRow{"RelativeLinesFile", "COM6=/dev/pts/1;lines=rel"}),
                         [](const testing::TestParamInfo<LineRow>& i) { return std::string(i.param.name); });

} // namespace

TEST(ParseMapFile, BinaryGarbageNeverCrashes) {
    std::string garbage;
    for (int i = 0; i < 2000; ++i)
        garbage += static_cast<char>((i * 37) & 0xFF);
    auto parsed = portmap::parseMapFile(garbage);
    EXPECT_TRUE(parsed.entries.empty());
}

namespace {

struct ResolveRow {
    const char* row;
    const char* name;
    const char* path;
};

class PortMapResolve : public testing::TestWithParam<ResolveRow> {};

TEST_P(PortMapResolve, MapFirstThenDefault) {
    PortMap map(std::map<int, std::string>{{3, "/dev/ttyUSB0"}, {100, "/dev/pts/4"}});
    EXPECT_EQ(map.resolve(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PortMapResolve,
    testing::Values(ResolveRow{"UnmappedCom1", "COM1", "/dev/ttyS0"},
                    ResolveRow{"MappedCom3", "COM3", "/dev/ttyUSB0"},
                    ResolveRow{"UnmappedCom10", "\\\\.\\COM10", "/dev/ttyS9"},
                    ResolveRow{"MappedCom100DoubledPrefixWithBackslash", "\\\\.\\\\\\.\\COM100",
                               "/dev/pts/4"},
                    ResolveRow{"MappedCom100DoubledPrefix", "\\\\.\\\\.\\COM100", "/dev/pts/4"},
                    ResolveRow{"UnmappedCom256", "\\\\.\\COM256", "/dev/ttyS255"},
                    ResolveRow{"Com257", "COM257", ""}, ResolveRow{"DevicePath", "/dev/ttyS0", ""}),
    [](const testing::TestParamInfo<ResolveRow>& i) { return std::string(i.param.row); });

} // namespace

TEST(PortMapResolveNumber, OutOfRangeHasNoDevice) {
    PortMap map(std::map<int, std::string>{{3, "/dev/ttyUSB0"}, {100, "/dev/pts/4"}});
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

    std::ofstream(file) << "COM2=/dev/pts/9\nCOM3=dev/ttyUSB0\n";
    testing::internal::CaptureStderr();
    PortMap malformed(file.string());
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(malformed.resolve("COM3"), "");
    EXPECT_EQ(malformed.resolve("COM4"), "/dev/ttyS3");
    EXPECT_EQ(err, file.string() +
                       ": line 2: \"COM3=dev/ttyUSB0\" is not COMn=/device/path: COM3 will not open\n");
}

TEST(PortMapFile, AMapThatCannotBeReadOpensNoPortAndNeverBlocks) {
    TempDir dir;
    const fs::path fifo = dir.path() / "fifo.conf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path folder = dir.path() / "folder.conf";
    fs::create_directory(folder);
    for (const fs::path& unreadable : {fifo, folder}) {
        testing::internal::CaptureStderr();
        PortMap map(unreadable.string()); // a FIFO with no writer would hang an open for reading
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(map.devicePath(1), "") << unreadable;
        EXPECT_EQ(map.devicePath(256), "") << unreadable;
        EXPECT_EQ(err,
                  unreadable.string() + ": cannot be read (not a regular file): no COM port will open\n");
        // Nor is anything written over it.
        EXPECT_FALSE(portmap::writeEntry(unreadable.string(), 3, "/dev/pts/1"));
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
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

    // Nothing but the map file remains beside it: no lock, no temporary file.
    EXPECT_EQ(namesIn(file.parent_path()), (std::vector<std::string>{"ports.conf"}));
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

// Writers in one program (threads) and in several (processes).
struct Writers {
    const char* name;
    bool processes;
};

class ConcurrentWriters : public testing::TestWithParam<Writers> {};

TEST_P(ConcurrentWriters, LoseNoEntryAndLeaveNoLock) {
    TempDir dir;
    fs::path file = dir.path() / "ports.conf";
    auto write = [&](int t) {
        bool ok = true;
        for (int i = 0; i < 10; ++i)
            ok = portmap::writeEntry(file, 1 + t * 10 + i, "/dev/pts/" + std::to_string(t)) && ok;
        return ok;
    };
    if (GetParam().processes) {
        std::vector<pid_t> children;
        for (int t = 0; t < 8; ++t) {
            pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0)
                ::_exit(write(t) ? 0 : 1);
            children.push_back(child);
        }
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    } else {
        std::vector<std::thread> writers;
        std::atomic<bool> ok{true};
        for (int t = 0; t < 8; ++t)
            writers.emplace_back([&, t] {
                if (!write(t))
                    ok = false;
            });
        for (auto& w : writers)
            w.join();
        EXPECT_TRUE(ok);
    }
    auto parsed = portmap::parseMapFile(readText(file));
    EXPECT_EQ(parsed.entries.size(), 80u);
    EXPECT_TRUE(parsed.warnings.empty());
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"ports.conf"}));
}

INSTANTIATE_TEST_SUITE_P(WriteEntry, ConcurrentWriters,
                         testing::Values(Writers{"Threads", false}, Writers{"Processes", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A fake /dev in a temporary folder: by-id links, their devices and ttyS devices as plain files.
class DeviceTreeTest : public testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(byId());
        tree.root = dir.path().string();
        tree.present = [](const std::string& p) { return fs::exists(p); };
    }
    fs::path byId() const { return dir.path() / "dev" / "serial" / "by-id"; }
    std::string plug(const std::string& name, const std::string& device) {
        std::ofstream(dir.path() / "dev" / device) << "";
        fs::create_symlink("../../" + device, byId() / name);
        return (byId() / name).string();
    }
    void unplug(const std::string& name, const std::string& device) {
        fs::remove(byId() / name);
        fs::remove(dir.path() / "dev" / device);
    }
    void uart(int n) { std::ofstream(dir.path() / "dev" / ("ttyS" + std::to_string(n))) << ""; }

    TempDir dir;
    portmap::DeviceTree tree;
    const std::string mapFile = (dir.path() / "ports.conf").string();
};

TEST_F(DeviceTreeTest, NewDevicesTakeTheLowestFreeNumbersAndKeepThem) {
    uart(0);
    uart(1);
    uart(4);
    const std::string mine = "# my ports\nCOM3=/dev/pts/9\nnot a line\nCOM5=relative\n";
    std::ofstream(mapFile) << mine;
    const std::string a = plug("usb-Maker_A_123-if00-port0", "ttyUSB0");
    const std::string b = plug("usb-Maker_B_456-if00", "ttyACM0");
    fs::create_symlink("../../ttyUSB7", byId() / "usb-Gone_789-if00"); // its device has vanished

    // COM1, COM2 and COM5's ttyS exist, COM3 and COM5 are the user's: A gets COM4, B COM6.
    EXPECT_EQ(portmap::assignDevices(mapFile, tree), (std::map<int, std::string>{{4, a}, {6, b}}));
    const std::string assigned = mine + "COM4=" + a + "\nCOM6=" + b + "\n";
    EXPECT_EQ(readText(mapFile), assigned);
    EXPECT_EQ(PortMap(mapFile).devicePath(4), a);

    // Unplugged, the number stays taken (the open fails); plugged in again, it is the same number.
    unplug("usb-Maker_A_123-if00-port0", "ttyUSB0");
    const std::string c = plug("usb-Maker_C_000-if00", "ttyUSB1");
    EXPECT_EQ(portmap::assignDevices(mapFile, tree), (std::map<int, std::string>{{7, c}}));
    plug("usb-Maker_A_123-if00-port0", "ttyUSB0");
    EXPECT_TRUE(portmap::assignDevices(mapFile, tree).empty());
    EXPECT_EQ(readText(mapFile), assigned + "COM7=" + c + "\n");
}

TEST_F(DeviceTreeTest, ADeviceTheUserMappedByItsOwnNameGetsNoSecondNumber) {
    plug("usb-Maker_A_123-if00-port0", "ttyUSB0");
    const std::string mine = "COM9=" + (dir.path() / "dev" / "ttyUSB0").string(); // no final newline
    std::ofstream(mapFile) << mine;
    EXPECT_TRUE(portmap::assignDevices(mapFile, tree).empty());
    EXPECT_EQ(readText(mapFile), mine);

    const std::string b = plug("usb-Maker_B_456-if00", "ttyACM0");
    EXPECT_EQ(portmap::assignDevices(mapFile, tree), (std::map<int, std::string>{{1, b}}));
    EXPECT_EQ(readText(mapFile), mine + "\nCOM1=" + b + "\n");
}

TEST_F(DeviceTreeTest, NoByIdFolderOrNoDevicesLeavesTheMapAlone) {
    EXPECT_TRUE(portmap::assignDevices(mapFile, tree).empty());
    EXPECT_FALSE(fs::exists(mapFile));
    fs::remove_all(dir.path() / "dev");
    EXPECT_TRUE(portmap::assignDevices(mapFile, tree).empty());
    EXPECT_FALSE(fs::exists(mapFile));
    EXPECT_FALSE(fs::exists(mapFile + ".lock"));
}
