// Cutting the byte stream into requests: by length and check byte, across reads, past garbage,
// and giving up an incomplete request when the line goes quiet.
#include "sim/request_framer.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/device.h"
#include "sim/sim_test_util.h"

namespace velkon::sim {
namespace {

using namespace simtest;
using Piece = RequestFramer::Piece;

Piece frame(const std::string& b) {
    return {b, true};
}
Piece junk(const std::string& b) {
    return {b, false};
}

std::string config_write() {
    return Control_summ(bytes("3E CA A3 16") + std::string(161, 'x') + bytes("A5 36 5B"));
}

struct FramerCase {
    const char* name;
    std::vector<std::string> reads;  // what each read from the line brings
    bool quiet_at_end;               // the line then goes quiet
    std::vector<Piece> expected;
};

class SimFramer : public ::testing::TestWithParam<FramerCase> {};

TEST_P(SimFramer, Pieces) {
    RequestFramer framer;
    std::vector<Piece> got;
    for (const auto& read : GetParam().reads) {
        for (auto& piece : framer.feed(read)) got.push_back(std::move(piece));
    }
    if (GetParam().quiet_at_end) {
        for (auto& piece : framer.flush()) got.push_back(std::move(piece));
        EXPECT_FALSE(framer.holding());
    }
    ASSERT_EQ(got.size(), GetParam().expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].frame, GetParam().expected[i].frame) << "piece " << i;
        EXPECT_EQ(spaced_hex(got[i].bytes), spaced_hex(GetParam().expected[i].bytes))
            << "piece " << i;
    }
}

const std::string kReadings = bytes("31 01 F0 C5");
const std::string kLive = bytes("3E CA A0 D6");

INSTANTIATE_TEST_SUITE_P(
    Stream, SimFramer,
    ::testing::Values(
        FramerCase{"OneFrame", {kReadings}, false, {frame(kReadings)}},
        FramerCase{"ByteByByte",
                   {bytes("31"), bytes("01"), bytes("F0"), bytes("C5")},
                   false,
                   {frame(kReadings)}},
        FramerCase{
            "TwoFramesInOneRead", {kReadings + kLive}, false, {frame(kReadings), frame(kLive)}},
        FramerCase{"NetworkPoll", {bytes("31 FF DC")}, false, {frame(bytes("31 FF DC"))}},
        FramerCase{"ConfigWriteInPieces",
                   {config_write().substr(0, 100), config_write().substr(100)},
                   false,
                   {frame(config_write())}},
        FramerCase{"GarbageBeforeAFrame",
                   {bytes("00 11 3E 31") + kReadings},
                   false,
                   {junk(bytes("00 11 3E 31")), frame(kReadings)}},
        FramerCase{"BadCheckByteThenAFrame",
                   {bytes("31 01 F0 C4") + kLive},
                   false,
                   {junk(bytes("31 01 F0 C4")), frame(kLive)}},
        FramerCase{"IncompleteGivenUpWhenQuiet",
                   {bytes("31 01 F2 0A")},
                   true,
                   {junk(bytes("31 01 F2 0A"))}},
        FramerCase{"IncompleteHeldUntilQuiet", {bytes("31 01 F2 0A")}, false, {}},
        // A false start that claims a long frame hides a real one until the line goes quiet.
        FramerCase{"FrameBehindAFalseStart",
                   {bytes("3E CA A3") + kReadings},
                   true,
                   {junk(bytes("3E CA A3")), frame(kReadings)}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkon::sim
