#include "source_file.h"
#include "transfer_test_support.h"

#include <gtest/gtest.h>

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
