// Which bytes a port's reader keeps as a waiting receiver's request for the transmit that follows.
#include "ReceiverRequest.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using halvic::ReceiverRequest;
using namespace std::chrono_literals;

struct Row {
    const char* name;
    std::vector<std::string> reads; // one after the other
    std::optional<uint8_t> kept;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

class Requests : public ::testing::TestWithParam<Row> {};

TEST_P(Requests, OnlyARequestEndingTheLineIsKept) {
    ReceiverRequest request;
    const auto now = ReceiverRequest::Clock::now();
    for (const auto& read : GetParam().reads)
        request.read(reinterpret_cast<const uint8_t*>(read.data()), read.size(), now);
    EXPECT_EQ(request.pending(now), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    ReaderHandBack, Requests,
    ::testing::Values(Row{"crc_request_alone", {"C"}, 'C'}, Row{"nak_alone", {"\x15"}, 0x15},
                      Row{"after_the_echoed_command", {"rx -c data.bin\r\nC"}, 'C'},
                      Row{"in_a_later_read", {"rx data.bin\r\n", "\x15"}, 0x15},
                      Row{"repeated", {"C", "C"}, 'C'}, Row{"nak_after_text", {"ok\x15"}, 0x15},
                      Row{"word_ending_in_c", {"ABC"}, std::nullopt},
                      Row{"word_split_across_reads", {"AB", "C"}, std::nullopt},
                      Row{"text_after_the_request", {"C", "login: "}, std::nullopt},
                      Row{"nothing_read", {}, std::nullopt}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(ReceiverRequest, AnOldRequestIsNotHandedBack) {
    ReceiverRequest request;
    const auto then = ReceiverRequest::Clock::now();
    request.read(reinterpret_cast<const uint8_t*>("C"), 1, then);
    EXPECT_EQ(request.pending(then + ReceiverRequest::KeptFor - 1s), 'C');
    EXPECT_EQ(request.pending(then + ReceiverRequest::KeptFor + 1s), std::nullopt);
}

} // namespace
