// Frames, the check byte and the frame builders.
#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

namespace velkon {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out.push_back(static_cast<char>(v));
    return out;
}

std::string address(std::string_view text) {
    const auto value = address_from_text(text);
    return value ? bytes({*value}) : "refused";
}

// One step computed the other way: shift the reflected polynomial bit by bit.
std::uint8_t reference_step(std::uint8_t data, std::uint8_t running) {
    std::uint8_t value = running ^ data;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0x8C : value >> 1;
    return value;
}

struct FrameCase {
    const char* name;
    std::function<std::string()> build;
    std::string expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameVectors : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameVectors, BuildTheExpectedBytes) {
    EXPECT_EQ(GetParam().build(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Builders, FrameVectors,
    ::testing::Values(
        // Check byte appended by Control_summ.
        FrameCase{"ReadingsRequest",
                  [] {
                      return Control_summ(bytes({0x31, 0x01, 0xF0}));
                  },
                  bytes({0x31, 0x01, 0xF0, 0xC5})},
        FrameCase{"TrackerLiveData",
                  [] {
                      return Control_summ(bytes({0x3E, 0xCA, 0xA0}));
                  },
                  bytes({0x3E, 0xCA, 0xA0, 0xD6})},
        FrameCase{"NulAddressCounts",
                  [] {
                      return Control_summ(bytes({0x31, 0x00, 0xFC}));
                  },
                  bytes({0x31, 0x00, 0xFC, 0xA2})},
        FrameCase{"NetworkPoll",
                  [] {
                      return Control_summ(bytes({0x31, 0xFF}));
                  },
                  bytes({0x31, 0xFF, 0xDC})},
        FrameCase{"TrailingNulChangesCheck",
                  [] {
                      return Control_summ(bytes({0x31, 0x01, 0xF0, 0x00}));
                  },
                  bytes({0x31, 0x01, 0xF0, 0x00, 0xF5})},
        FrameCase{"MakeFrame",
                  [] {
                      return make_frame({0x31, 0xFF});
                  },
                  bytes({0x31, 0xFF, 0xDC})},
        FrameCase{"EmptyFrameCheckIsZero", [] { return Control_summ(""); }, bytes({0x00})},
        // The check value of the published algorithm.
        FrameCase{"CheckValue123456789", [] { return bytes({check_byte("123456789")}); },
                  bytes({0xA1})},
        // crc returns the new value and stores it into the running value.
        FrameCase{"CrcZeroZero",
                  [] {
                      std::uint8_t running = 0;
                      const auto step = crc(0x00, running);
                      return bytes({step, running});
                  },
                  bytes({0x00, 0x00})},
        FrameCase{"CrcOneZero",
                  [] {
                      std::uint8_t running = 0;
                      const auto step = crc(0x01, running);
                      return bytes({step, running});
                  },
                  bytes({0x5E, 0x5E})},
        FrameCase{"CrcArgumentsSwap",
                  [] {
                      std::uint8_t running = 0x01;
                      return bytes({crc(0x00, running)});
                  },
                  bytes({0x5E})},
        // big_endian_bytes: most significant byte first.
        FrameCase{"LongOne", [] { return big_endian_bytes(1); }, bytes({0x00, 0x00, 0x00, 0x01})},
        FrameCase{"LongTwoBillion", [] { return big_endian_bytes(2000000000); },
                  bytes({0x77, 0x35, 0x94, 0x00})},
        FrameCase{"LongZero", [] { return big_endian_bytes(0); }, bytes({0x00, 0x00, 0x00, 0x00})},
        FrameCase{"LongMax", [] { return big_endian_bytes(2147483647); },
                  bytes({0x7F, 0xFF, 0xFF, 0xFF})},
        // Byte orders: the sensor's numbers least significant byte first, the tracker's most.
        FrameCase{
            "LittleEndian32",
            [] {
                return big_endian_bytes(little_endian_at(bytes({9, 0x78, 0x56, 0x34, 0x12}), 1, 4));
            },
            bytes({0x12, 0x34, 0x56, 0x78})},
        FrameCase{"BigEndian16",
                  [] {
                      return big_endian_bytes(big_endian_at(bytes({0x01, 0xF4}), 0, 2));
                  },
                  bytes({0x00, 0x00, 0x01, 0xF4})},
        FrameCase{"HighBytesStayUnsigned",
                  [] {
                      return big_endian_bytes(little_endian_at(bytes({0xFF, 0xFF}), 0, 2));
                  },
                  bytes({0x00, 0x00, 0xFF, 0xFF})},
        // Bus addresses: 0..200, anything else refused.
        FrameCase{"AddressZero", [] { return address("0"); }, bytes({0x00})},
        FrameCase{"Address200", [] { return address("200"); }, bytes({0xC8})},
        FrameCase{"Address201", [] { return address("201"); }, "refused"},
        FrameCase{"AddressMinusOne", [] { return address("-1"); }, "refused"},
        FrameCase{"AddressNotANumber", [] { return address("abc"); }, "refused"},
        FrameCase{"AddressEmpty", [] { return address(""); }, "refused"},
        FrameCase{"AddressBeyond16Bits", [] { return address("70000"); }, "refused"},
        FrameCase{"AddressBlanks", [] { return address(" 7 "); }, bytes({0x07})},
        // Level shifts: 16-bit two's complement, high byte first.
        FrameCase{"ShiftMinusOne", [] { return shift_bytes(-1); }, bytes({0xFF, 0xFF})},
        FrameCase{"ShiftPositive", [] { return shift_bytes(0x0102); }, bytes({0x01, 0x02})},
        FrameCase{"HexPairs",
                  [] {
                      return hex_pairs(bytes({0x31, 0x05, 0xF9, 0x00}));
                  },
                  "3105F900"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckByte, StepAgreesWithBitwiseComputationForEveryPair) {
    for (int data = 0; data < 256; ++data) {
        for (int value = 0; value < 256; ++value) {
            std::uint8_t running = static_cast<std::uint8_t>(value);
            const auto step = crc(static_cast<std::uint8_t>(data), running);
            ASSERT_EQ(step, reference_step(static_cast<std::uint8_t>(data),
                                           static_cast<std::uint8_t>(value)))
                << "data " << data << " running " << value;
        }
    }
}

TEST(CheckByte, CompleteFrameChecksToZero) {
    const std::string frames[] = {
        bytes({0x31, 0x01, 0xF0}),
        bytes({0x3E, 0xCA, 0xA3, 0x00, 0x00, 0xFF, 0x80}),
        std::string(300, '\0'),
        std::string(255, '\xFF'),
    };
    for (const auto& frame : frames) {
        const Frame sealed = Control_summ(frame);
        ASSERT_EQ(sealed.size(), frame.size() + 1);
        EXPECT_EQ(sealed.substr(0, frame.size()), frame);
        EXPECT_EQ(check_byte(sealed), 0);
    }
}

TEST(CheckByte, EverySingleByteChangeIsSeen) {
    const Frame sealed = Control_summ(bytes({0x31, 0x01, 0xF4, 0x00, 0x00, 0x27, 0x10}));
    for (std::size_t pos = 0; pos < sealed.size(); ++pos) {
        for (int flip = 1; flip < 256; flip <<= 1) {
            Frame damaged = sealed;
            damaged[pos] = static_cast<char>(damaged[pos] ^ flip);
            EXPECT_NE(check_byte(damaged), 0) << "position " << pos << " flip " << flip;
        }
    }
}

}  // namespace
}  // namespace velkon
