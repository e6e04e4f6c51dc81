#include "Configstruct.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

struct ParseCase {
    const char* name;
    std::string text;
    int key;
    std::string value;
};
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseValue : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseValue, KeyGetsValue) {
    const ParseCase& c = GetParam();
    EXPECT_EQ(ParseConfigText(c.text).values.at(c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseValue,
    testing::Values(
        ParseCase{"PinBeforePin2", "Use PIN=Yes\r\nUse PIN2=No\r\n", 2, "Yes"},
        ParseCase{"Pin2AfterPin", "Use PIN=Yes\r\nUse PIN2=No\r\n", 4, "No"},
        // The first match of "Use PIN" is inside "Use PIN2": its "2" is taken as the separator.
        ParseCase{"PinInsidePin2", "Use PIN2=No\r\nUse PIN=Yes\r\n", 2, "=No"},
        ParseCase{"AnySeparator", "Device Alias:Office\r\n", 0, "Office"},
        ParseCase{"EmptyBeforeCrLf", "Device Alias=\r\nBaudrate=10\r\n", 0, ""},
        ParseCase{"NextLineAfterEmpty", "Device Alias=\r\nBaudrate=10\r\n", 7, "10"},
        ParseCase{"CutAtMaxLength", "Device Alias=ABCDEFGHIJKLMNOPQRST\r\n", 0, "ABCDEFGHIJKLMNOP"},
        ParseCase{"OneCharacterKey", "Cellular Band Selection=12\r\n", 1, "1"},
        ParseCase{"EndsAfterSeparator", "Device Alias=", 0, ""},
        ParseCase{"EndsAfterKey", "Baudrate=5\r\nDevice Alias", 0, ""},
        ParseCase{"ValueRunsToEndOfText", "Baudrate=5\r\nDevice Alias=Office", 0, "Office"},
        ParseCase{"SameTextFirstKey", "Valid Callee1=+111\r\nValid Callee1=+222\r\n", 26, "+111"},
        ParseCase{"SameTextSecondKey", "Valid Callee1=+111\r\nValid Callee1=+222\r\n", 30, "+111"},
        ParseCase{"FirstOccurrenceWins", "Baudrate=5\r\nBaudrate=7\r\n", 7, "5"},
        // A key is read only where a key can start: a value naming a key is data.
        ParseCase{"KeyInsideValueIsData", "Init Command1=Baudrate=5\r\n", 7, ""},
        ParseCase{"AliasNamingBaudrate", "Device Alias=Baudrate 5\r\nBaudrate=7\r\n", 7, "7"},
        ParseCase{"AliasNamingPin2", "Device Alias=Use PIN2\r\nUse PIN=Yes\r\n", 2, "Yes"},
        ParseCase{"KeyAfterLfOnly", "Device Alias=x\nBaudrate=7\n", 7, "7"},
        ParseCase{"CaseMatters", "device alias=Office\r\n", 0, ""},
        ParseCase{"LfEndsValue", "Device Alias=Office\nCellular Band Selection=2\n", 0, "Office"},
        ParseCase{"LfFileNextKey", "Device Alias=Office\nCellular Band Selection=2\n", 1, "2"},
        ParseCase{"CrEndsValue", "Device Alias=Office\rDTR Drop=1\r", 0, "Office"},
        ParseCase{"CrFileNextKey", "Device Alias=Office\rDTR Drop=1\r", 44, "1"},
        ParseCase{"LfAsSeparatorLeavesEmpty", "Device Alias\r\nBaudrate=3\r\n", 0, ""},
        ParseCase{"EightBitValue", "Device Alias=B\xfcro \xa1\x43\r\n", 0, "B\xfcro \xa1\x43"},
        ParseCase{"TextEndsAtNul", "Device Alias=ab\0cd\r\n"s, 0, "ab"},
        ParseCase{"KeyAfterNulIgnored", "Device Alias=ab\0Baudrate=3\r\n"s, 7, ""}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(ParseConfigTextCount, CountsEmptyValues) {
    EXPECT_EQ(ParseConfigText("").EmptyValueCount, kConfigKeyCount);
    EXPECT_EQ(ParseConfigText("no key in here\r\n").EmptyValueCount, kConfigKeyCount);
    // An empty value found counts like a missing key.
    EXPECT_EQ(ParseConfigText("Device Alias=\r\nBaudrate=10\r\n").EmptyValueCount, kConfigKeyCount - 1);
    // Keys 26/30 and 27/31 share their text, so one line fills two keys.
    EXPECT_EQ(ParseConfigText("Valid Callee1=+1\r\n").EmptyValueCount, kConfigKeyCount - 2);
}

TEST(ParseConfigTextCount, RandomBytesNeverEscapeTheRecord) {
    std::mt19937 rng(7);
    std::string keys;
    for (int k = 0; k < kConfigKeyCount; ++k)
        keys += std::string(ConfigKeyTable[k].KeyText) + "\r\n";
    for (int round = 0; round < 200; ++round) {
        std::string text(rng() % 600, '\0');
        for (char& c : text)
            c = static_cast<char>(rng());
        // Splice in pieces of real keys so that values are actually read out of the noise.
        const size_t at = rng() % (keys.size() - 40);
        text.insert(text.empty() ? 0 : rng() % text.size(), keys.substr(at, 40));
        const ParsedConfig parsed = ParseConfigText(text);
        int empty = 0;
        for (int k = 0; k < kConfigKeyCount; ++k) {
            EXPECT_LE(parsed.values.at(k).size(), ConfigKeyTable[k].MaxLength);
            EXPECT_EQ(parsed.values.at(k).find_first_of("\r\n"s + '\0'), std::string::npos);
            empty += parsed.values.at(k).empty();
        }
        EXPECT_EQ(parsed.EmptyValueCount, empty);
        EXPECT_TRUE(parsed.values.at(kConfigKeyCount).empty());
    }
}

// Installs a spy in place of the windows' ApplyConfigToForm for the life of the fixture.
class AppliedRecord : public testing::Test {
protected:
    void SetUp() override {
        setApplyConfigToForm([this](const ConfigRecord& r) {
            applied = r;
            ++calls;
        });
        char pattern[] = "/tmp/engine-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        setApplyConfigToForm(nullptr);
        fs::remove_all(dir);
    }
    std::string file(const std::string& name, const std::string& bytes) {
        const fs::path p = dir / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::optional<ConfigRecord> applied;
    int calls = 0;
    fs::path dir;
};

TEST_F(AppliedRecord, TextWithoutKeysStillApplied) {
    ApplyConfigText("Device Alias=Office\r\n");
    ApplyConfigText("nothing\r\n");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(LastEmptyValueCount(), kConfigKeyCount);
    EXPECT_EQ((*applied).at(0), "");
}

TEST_F(AppliedRecord, NoHookInstalledIsHarmless) {
    setApplyConfigToForm(nullptr);
    ApplyConfigText("Device Alias=Office\r\n");
    EXPECT_EQ(LastEmptyValueCount(), kConfigKeyCount - 1);
}

// A file of exactly `size` bytes whose first and last lines hold keys.
std::string fileOfSize(size_t size) {
    const std::string head = "Device Alias=Office\r\n";
    const std::string tail = "\nDTR Drop=2\r\n";
    std::string filler;
    while (head.size() + filler.size() + tail.size() < size)
        filler += (filler.size() % 60 == 59) ? '\n' : 'x';
    return head + filler + tail;
}

// The most bytes a configuration file may hold, as the user is told, not taken from the code.
constexpr size_t kLargestFile = 10240;

TEST_F(AppliedRecord, LoadsFilesUpToTheLimit) {
    const std::string path = file("full.cfg", fileOfSize(kLargestFile));
    ASSERT_EQ(fs::file_size(path), static_cast<uintmax_t>(kLargestFile));
    EXPECT_EQ(LoadConfigFile(path), 0);
    ASSERT_EQ(calls, 1);
    EXPECT_EQ((*applied).at(0), "Office");
    EXPECT_EQ((*applied).at(44), "2"); // the last bytes were read too
    EXPECT_EQ(LastEmptyValueCount(), kConfigKeyCount - 2);
}

TEST_F(AppliedRecord, RefusedFilesApplyNothing) {
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder");
    const struct {
        const char* name;
        std::string path;
        int result;
    } cases[] = {
        {"over the limit", file("big.cfg", fileOfSize(kLargestFile + 1)), -2},
        {"far over the limit", file("huge.cfg", std::string(1 << 20, 'x')), -2},
        {"empty", file("empty.cfg", ""), -1},
        {"missing", (dir / "missing.cfg").string(), -1},
        {"folder", (dir / "folder").string(), -1},
        {"fifo without writer", fifo, -1},
        {"character device", "/dev/null", -1},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(LoadConfigFile(c.path), c.result) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
    }
    EXPECT_EQ(calls, 0);
}

TEST_F(AppliedRecord, LfOnlyFileLoadsLikeCrLfFile) {
    const std::string crlf = "Device Alias=Office\r\nCellular Band Selection=2\r\nUse PIN=No\r\n";
    std::string lf = crlf;
    std::erase(lf, '\r');
    ASSERT_EQ(LoadConfigFile(file("crlf.cfg", crlf)), 0);
    const ConfigRecord fromCrLf = *applied;
    ASSERT_EQ(LoadConfigFile(file("lf.cfg", lf)), 0);
    EXPECT_EQ(*applied, fromCrLf);
    EXPECT_EQ(fromCrLf.at(2), "No");
}

// A record as the windows fill it: every key has a value of its full length, with CR LF.
ConfigRecord fullRecord() {
    ConfigRecord lines;
    for (int k = 0; k < kConfigKeyCount; ++k) {
        std::string v;
        for (int i = 0; i < ConfigKeyTable[k].MaxLength; ++i)
            v += static_cast<char>('a' + (k + i) % 26);
        lines.at(k) = v + "\r\n";
    }
    return lines;
}

TEST(FormatConfigFile, WritesSavedKeysAsCrLfLines) {
    ConfigRecord lines = fullRecord();
    lines.at(3) = "\r\n"; // an empty value
    lines.at(6) = "Yes";  // no line end at all
    lines.at(7) = "10\n"; // LF only
    const std::string text = FormatConfigFile(lines);

    std::vector<std::string> got;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "last line has no CR LF";
        got.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(got.size(), 30u);
    EXPECT_EQ(got[0], "Device Alias=" + lines.at(0).substr(0, 16));
    EXPECT_EQ(got[2], "Use PIN=" + lines.at(2).substr(0, 3));
    EXPECT_EQ(got[3], "PIN Code=");
    EXPECT_EQ(got[4], "Config Serial Port=Yes");
    EXPECT_EQ(got[5], "Baudrate=10");
    EXPECT_EQ(got[19].substr(0, 16), "Taget Receiver2=");
    EXPECT_EQ(got[20].substr(0, 25), "Config Other Init String="); // 22..35 left out
    EXPECT_EQ(got[29], "GSM (Auto,V.110,V.32)=" + lines.at(45).substr(0, 2));
}

TEST_F(AppliedRecord, SavedFileLoadsBackTheSavedKeys) {
    const ConfigRecord lines = fullRecord();
    const std::string path = (dir / "saved.cfg").string();
    ASSERT_TRUE(SaveConfigFile(path, lines));
    ASSERT_EQ(LoadConfigFile(path), 0);
    for (int k = 0; k < kConfigKeyCount; ++k) {
        const std::string expected = IsSavedConfigKey(k) ? lines.at(k).substr(0, lines.at(k).size() - 2) : "";
        EXPECT_EQ((*applied).at(k), expected) << "key " << k;
    }
    EXPECT_EQ(LastEmptyValueCount(), 16);
}

TEST_F(AppliedRecord, SaveReplacesWholeFilesOnly) {
    const std::string path = file("keep.cfg", "Device Alias=Old\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(SaveConfigFile(path, fullRecord()));
    ASSERT_EQ(LoadConfigFile(path), 0);
    EXPECT_EQ((*applied).at(0), fullRecord().at(0).substr(0, 16));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A folder in the way and a missing folder: the save fails and leaves no temporary file.
    fs::create_directory(dir / "taken");
    EXPECT_FALSE(SaveConfigFile((dir / "taken").string(), fullRecord()));
    EXPECT_TRUE(fs::is_directory(dir / "taken"));
    EXPECT_FALSE(SaveConfigFile((dir / "nowhere" / "x.cfg").string(), fullRecord()));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    EXPECT_THAT(names, testing::UnorderedElementsAre("keep.cfg", "taken"));
}

TEST_F(AppliedRecord, SaveClearsTemporaryFilesOfKilledSaves) {
    // A process that has ended: its pid names no running process any more.
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = std::to_string(child);
    const std::string alive = std::to_string(getpid());
    file("s.cfg.tmp-" + dead + "-0", FormatConfigFile(fullRecord()));
    file("other.cfg.tmp-" + dead + "-7", "Device Alias=x\r\nPIN Code=1234\r\n");
    file("cut.cfg.tmp-" + dead + "-8", "");                            // killed before it wrote
    file("s.cfg.tmp-" + alive + "-3", FormatConfigFile(fullRecord())); // a save under way
    file("s.cfg.tmp-" + dead, "Device Alias=not our naming\r\n");
    file("a.txt.tmp-" + dead + "-1", "another program's file\r\n");
    file("notes.txt", "kept\r\n");

    ASSERT_TRUE(SaveConfigFile((dir / "s.cfg").string(), fullRecord()));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    EXPECT_THAT(names,
                testing::UnorderedElementsAre("s.cfg", "s.cfg.tmp-" + alive + "-3", "s.cfg.tmp-" + dead,
                                              "a.txt.tmp-" + dead + "-1", "notes.txt"));
}

} // namespace
