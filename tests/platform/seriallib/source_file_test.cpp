#include "source_file.h"
#include "transfer_test_support.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using seriallib::SourceFile;
using transfer_test::ScratchDir;

// Reads at any place, forwards, backwards (a receiver asking for data again), across the read-ahead
// and past the end, give exactly the file's bytes.
TEST(SourceFile, ReadsAtAnyOffsetGiveTheFilesBytes) {
    ScratchDir dir;
    const auto data = transfer_test::testData(300000, 3);
    transfer_test::writeFile(dir.file("f"), data);
    SourceFile f;
    ASSERT_TRUE(f.open(dir.file("f")));
    EXPECT_EQ(f.size(), data.size());
    const struct {
        uint64_t offset;
        size_t size;
        size_t expected;
    } reads[] = {{0, 1024, 1024}, {1024, 1024, 1024},   {512, 8192, 8192},   {131000, 1024, 1024},
                 {100, 1, 1},     {262100, 5000, 5000}, {299500, 1024, 500}, {300000, 1024, 0},
                 {400000, 10, 0}, {0, 200000, 200000},  {131072 + 7, 64, 64}};
    for (const auto& r : reads) {
        SCOPED_TRACE(r.offset);
        std::vector<uint8_t> buf(r.size, 0xEE);
        ASSERT_EQ(f.readAt(r.offset, buf.data(), r.size), long(r.expected));
        if (r.expected > 0) {
            EXPECT_TRUE(
                std::equal(buf.begin(), buf.begin() + long(r.expected), data.begin() + long(r.offset)));
        }
    }
}

} // namespace

namespace {

// A file cut or extended while it is sent: reads stop at the announced size, a cut fails the read
// rather than looking like the end, and either is reported as changed.
TEST(SourceFile, AFileThatChangesUnderTheSenderIsReportedNotSentAsItIs) {
    ScratchDir dir;
    const auto data = transfer_test::testData(300000, 5);
    const std::string path = dir.file("log");
    std::vector<uint8_t> buf(4096);

    transfer_test::writeFile(path, data);
    SourceFile unchanged;
    ASSERT_TRUE(unchanged.open(path));
    ASSERT_EQ(unchanged.readAt(0, buf.data(), buf.size()), long(buf.size()));
    EXPECT_FALSE(unchanged.changed());

    SourceFile cut;
    ASSERT_TRUE(cut.open(path));
    ASSERT_EQ(::truncate(path.c_str(), 250000), 0);
    EXPECT_TRUE(cut.changed());
    EXPECT_EQ(cut.readAt(249000, buf.data(), buf.size()), -1);

    transfer_test::writeFile(path, data);
    SourceFile grown;
    ASSERT_TRUE(grown.open(path));
    {
        std::FILE* f = std::fopen(path.c_str(), "ab");
        ASSERT_NE(f, nullptr);
        std::fputs("728 more bytes", f);
        std::fclose(f);
    }
    EXPECT_TRUE(grown.changed());
    EXPECT_EQ(grown.readAt(data.size() - 10, buf.data(), buf.size()), 10);
    EXPECT_EQ(grown.readAt(data.size(), buf.data(), buf.size()), 0);
}

} // namespace
