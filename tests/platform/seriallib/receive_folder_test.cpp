#include "receive_folder.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace seriallib;
using transfer_test::readFile;
using transfer_test::rowName;
using transfer_test::ScratchDir;
using transfer_test::writeFile;

namespace {

std::vector<uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

struct NameCase {
    std::string raw, expected;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.raw);
}

const NameCase nameCases[] = {
    {"report.txt", "report.txt"},
    {"../x", "x"},
    {"/etc/x", "x"},
    {"a/b/../../c", "c"},
    {"C:\\DOS\\GAME.EXE", "GAME.EXE"},
    {"..", "received"},
    {".", "received"},
    {"", "received"},
    {"dir/", "received"},
    {"/", "received"},
    {std::string("ok\0/etc/passwd", 14), "ok"},
    {"bell\x07tab\tdel\x7F", "bell_tab_del_"},
    {"...", "..."},
    {"na\xC3\xAFve", "na\xC3\xAFve"},
    {std::string(300, 'n'), std::string(200, 'n')},
    // Cut at 200 bytes, never inside a UTF-8 character; other bytes are cut where they stand.
    {std::string(199, 'n') + "\xC3\xA9x", std::string(199, 'n')},
    {std::string(198, 'n') + "\xE2\x82\xACx", std::string(198, 'n')},
    {std::string(197, 'n') + "\xF0\x9F\x98\x80x", std::string(197, 'n')},
    {std::string(196, 'n') + "\xF0\x9F\x98\x80x", std::string(196, 'n') + "\xF0\x9F\x98\x80"},
    {std::string(199, 'n') + "\xE9\xE9", std::string(199, 'n') + "\xE9"},
    {std::string(200, 'n') + "\xA9", std::string(200, 'n')},
};

class ReceivedName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ReceivedName, IsReducedToAPlainNameInTheFolder) {
    const NameCase& c = GetParam();
    EXPECT_EQ(sanitiseReceivedName(c.raw), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Names, ReceivedName, ::testing::ValuesIn(nameCases),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return "row_" + std::to_string(info.index) + "_" +
                                    rowName(info.param.raw.substr(0, 12));
                         });

TEST(ReceiveFolder, HostileNamesLandInsideTheFolder) {
    ScratchDir outer;
    std::string inner = outer.file("in");
    ASSERT_EQ(mkdir(inner.c_str(), 0755), 0);
    ReceiveFolder folder(inner);
    ASSERT_TRUE(folder.valid());
    for (std::string raw : {"../x", "/etc/x", "../../../../../../tmp/x"}) {
        SCOPED_TRACE(raw);
        auto file = folder.begin(raw);
        ASSERT_TRUE(file.valid());
        ASSERT_TRUE(file.write(bytes(raw).data(), raw.size()));
        std::string path = file.commit();
        EXPECT_EQ(path.rfind(inner + "/", 0), 0u) << path;
    }
    EXPECT_EQ(outer.names(), std::vector<std::string>{"in"});
    EXPECT_EQ(readFile(inner + "/x"), bytes("../x"));
    EXPECT_EQ(readFile(inner + "/x (1)"), bytes("/etc/x"));
    EXPECT_EQ(readFile(inner + "/x (2)"), bytes("../../../../../../tmp/x"));
}

TEST(ReceiveFolder, AnExistingFileIsNeverReplaced) {
    ScratchDir dir;
    writeFile(dir.file("log.txt"), bytes("old"));
    writeFile(dir.file("log (1).txt"), bytes("older"));
    // A link under the received name must not lead the data elsewhere either.
    ScratchDir elsewhere;
    writeFile(elsewhere.file("target"), bytes("keep"));
    ASSERT_EQ(symlink(elsewhere.file("target").c_str(), dir.file("data").c_str()), 0);

    ReceiveFolder folder(dir.path());
    auto log = folder.begin("log.txt");
    log.write(bytes("new").data(), 3);
    EXPECT_EQ(log.commit(), dir.file("log (2).txt"));
    auto data = folder.begin("data");
    data.write(bytes("new").data(), 3);
    EXPECT_EQ(data.commit(), dir.file("data (1)"));

    EXPECT_EQ(readFile(dir.file("log.txt")), bytes("old"));
    EXPECT_EQ(readFile(dir.file("log (1).txt")), bytes("older"));
    EXPECT_EQ(readFile(elsewhere.file("target")), bytes("keep"));
}

TEST(ReceiveFolder, UnfinishedFilesLeaveNothingBehind) {
    ScratchDir dir;
    writeFile(dir.file("keep"), bytes("previous"));
    {
        ReceiveFolder folder(dir.path());
        auto dropped = folder.begin("new");
        dropped.write(bytes("partial").data(), 7);
        dropped.discard();
        auto forgotten = folder.begin("other"); // destroyed without a commit
        forgotten.write(bytes("partial").data(), 7);
        auto replacing = IncomingFile::forPath(dir.file("keep"));
        replacing.write(bytes("partial").data(), 7);
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"keep"});
    EXPECT_EQ(readFile(dir.file("keep")), bytes("previous"));
}

TEST(ReceiveFolder, AnExplicitPathIsReplacedOnCommit) {
    ScratchDir dir;
    writeFile(dir.file("out.bin"), bytes("previous"));
    auto file = IncomingFile::forPath(dir.file("out.bin"));
    ASSERT_TRUE(file.valid());
    file.write(bytes("fresh").data(), 5);
    EXPECT_EQ(readFile(dir.file("out.bin")), bytes("previous"));
    EXPECT_EQ(file.commit(), dir.file("out.bin"));
    EXPECT_EQ(readFile(dir.file("out.bin")), bytes("fresh"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"out.bin"});
}

TEST(ReceiveFolder, OnlyAnAbsoluteExistingFolderIsAccepted) {
    ScratchDir dir;
    writeFile(dir.file("plain"), bytes("x"));
    for (std::string bad :
         {std::string(), std::string("relative"), std::string("."), dir.file("missing"), dir.file("plain")}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ReceiveFolder(bad).valid());
        EXPECT_FALSE(ReceiveFolder(bad).begin("x").valid());
    }
    for (std::string bad : {std::string("out.bin"), dir.file("missing/out.bin"), dir.path() + "/"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IncomingFile::forPath(bad).valid());
    }
}

} // namespace
