// XMODEM and YMODEM between our own sender and receiver over a line that flips, loses and inserts
// bytes both ways: every run ends with the exact file and success, or with a failure code and no
// file.

#include "noisy_line.h"
#include "xmodem.h"

#include <gtest/gtest.h>

using namespace seriallib;
using namespace transfer_test;

namespace {

constexpr int kSeeds = 8;
constexpr size_t kFileSize = 2500;

class XmodemNoisyLine : public ::testing::TestWithParam<XmodemVariant> {};

// An 8-bit sum cannot see two flips of the same bit in opposite directions (about one block in
// fifty at 1e-2): the checksum variant is held to the rule on lines that lose and insert bytes.
std::vector<noisy_line::Rates> ratesFor(XmodemVariant variant) {
    auto rates = noisy_line::standardRates();
    if (variant == XmodemVariant::Checksum)
        std::erase_if(rates, [](const noisy_line::Rates& r) { return r.flip > 0.0; });
    return rates;
}

TEST_P(XmodemNoisyLine, EveryRunEndsWithTheExactFileOrAFailureCode) {
    const XmodemVariant variant = GetParam();
    noisy_line::Tally tally;
    noisy_line::forEachRun(ratesFor(variant), kSeeds, [&](const noisy_line::Rates& rates, uint64_t seed) {
        SCOPED_TRACE(rates.name + " seed " + std::to_string(seed));
        ScratchDir dir;
        auto data = testData(kFileSize, static_cast<uint32_t>(seed));
        writeFile(dir.file("in"), data);
        auto out = noisy_line::transfer(
            rates, seed, [&](TransferContext& ctx) { return xmodemSend(ctx, dir.file("in"), variant); },
            [&](TransferContext& ctx) { return xmodemReceive(ctx, dir.file("out"), variant); });
        tally.count(out, 0);
        EXPECT_TRUE(out.sent == 0 || noisy_line::isFailureCode(out.sent)) << out.sent;
        EXPECT_TRUE(out.received == 0 || noisy_line::isFailureCode(out.received)) << out.received;
        if (out.received == 0) {
            EXPECT_EQ(readFile(dir.file("out")), paddedTo(data, 128));
        } else {
            EXPECT_EQ(dir.names(), std::vector<std::string>{"in"});
        }
        if (out.sent == 0) {
            EXPECT_EQ(out.received, 0) << "the sender succeeded without the receiver";
        }
    });
    std::cout << tally.text() << "\n";
    EXPECT_GT(tally.delivered, 0);
    EXPECT_GT(tally.failed, 0);
}

std::string variantName(const ::testing::TestParamInfo<XmodemVariant>& info) {
    const char* names[] = {"Checksum", "Crc", "OneK"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Variants, XmodemNoisyLine,
                         ::testing::Values(XmodemVariant::Checksum, XmodemVariant::Crc, XmodemVariant::OneK),
                         variantName);

TEST(YmodemNoisyLine, EveryRunEndsWithTheExactFileOrAFailureCode) {
    noisy_line::Tally tally;
    noisy_line::forEachRun(
        noisy_line::standardRates(), kSeeds, [&](const noisy_line::Rates& rates, uint64_t seed) {
            SCOPED_TRACE(rates.name + " seed " + std::to_string(seed));
            ScratchDir from, to;
            auto data = testData(kFileSize, static_cast<uint32_t>(seed));
            writeFile(from.file("f"), data);
            auto out = noisy_line::transfer(
                rates, seed, [&](TransferContext& ctx) { return ymodemSend(ctx, from.file("f")); },
                [&](TransferContext& ctx) { return ymodemReceive(ctx, to.path()); });
            tally.count(out, 1);
            EXPECT_TRUE(out.sent == 0 || noisy_line::isFailureCode(out.sent)) << out.sent;
            EXPECT_TRUE(out.received == 1 || noisy_line::isFailureCode(out.received)) << out.received;
            // A file is kept once its EOT was agreed; closing the batch may still fail after that.
            auto names = to.names();
            if (!names.empty()) {
                EXPECT_EQ(names, std::vector<std::string>{"f"});
                EXPECT_EQ(readFile(to.file("f")), data);
            }
            if (out.received == 1 || out.sent == 0) {
                EXPECT_EQ(names, std::vector<std::string>{"f"});
            }
        });
    std::cout << tally.text() << "\n";
    EXPECT_GT(tally.delivered, 0);
    EXPECT_GT(tally.failed, 0);
}

} // namespace
