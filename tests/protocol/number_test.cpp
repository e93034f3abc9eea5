// The one conversion of user-typed text to a whole number.
#include "protocol/number.h"

#include <gtest/gtest.h>

#include <optional>

namespace velkon {
namespace {

struct NumberCase {
    const char* text;
    IntWidth width;
    std::optional<std::int64_t> value;            // expected value, or none
    NumberError error = NumberError::NotANumber;  // expected error when there is no value
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << '"' << c.text << "\" width " << static_cast<int>(c.width);
}

class ParseNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumber, GivesValueOrReason) {
    const auto& c = GetParam();
    const Number number = parse_number(c.text, c.width);
    EXPECT_EQ(number.value, c.value);
    if (!c.value) {
        EXPECT_EQ(number.error, c.error);
    }
    EXPECT_EQ(to_integer(c.text, c.width), c.value);
}

constexpr auto kOut = NumberError::OutOfWidth;
constexpr auto kNaN = NumberError::NotANumber;

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseNumber,
    ::testing::Values(NumberCase{"0", IntWidth::Byte, 0}, NumberCase{"  42  ", IntWidth::Byte, 42},
                      NumberCase{"\t7\t", IntWidth::Byte, 7}, NumberCase{"+5", IntWidth::Byte, 5},
                      NumberCase{"-5", IntWidth::Int16, -5}, NumberCase{"-0", IntWidth::Byte, 0},
                      NumberCase{"007", IntWidth::Byte, 7},
                      NumberCase{"0000000000000000000000001", IntWidth::Byte, 1},
                      NumberCase{"1.", IntWidth::Byte, 1}, NumberCase{".7", IntWidth::Byte, 1},
                      NumberCase{"1,4", IntWidth::Byte, 1}, NumberCase{"1,6", IntWidth::Byte, 2}));

INSTANTIATE_TEST_SUITE_P(HalvesToEven, ParseNumber,
                         ::testing::Values(NumberCase{"0.5", IntWidth::Int16, 0},
                                           NumberCase{"1.5", IntWidth::Int16, 2},
                                           NumberCase{"2.5", IntWidth::Int16, 2},
                                           NumberCase{"3,5", IntWidth::Int16, 4},
                                           NumberCase{"-2.5", IntWidth::Int16, -2},
                                           NumberCase{"-1.5", IntWidth::Int16, -2},
                                           NumberCase{"-0.5", IntWidth::Int16, 0},
                                           NumberCase{"2.50000", IntWidth::Int16, 2},
                                           NumberCase{"2.500001", IntWidth::Int16, 3},
                                           NumberCase{"2.4999999", IntWidth::Int16, 2}));

INSTANTIATE_TEST_SUITE_P(
    Widths, ParseNumber,
    ::testing::Values(
        NumberCase{"255", IntWidth::Byte, 255}, NumberCase{"256", IntWidth::Byte, {}, kOut},
        NumberCase{"-1", IntWidth::Byte, {}, kOut}, NumberCase{"254.5", IntWidth::Byte, 254},
        NumberCase{"255.5", IntWidth::Byte, {}, kOut},  // rounds to 256
        NumberCase{"32767", IntWidth::Int16, 32767}, NumberCase{"32768", IntWidth::Int16, {}, kOut},
        NumberCase{"-32768", IntWidth::Int16, -32768},
        NumberCase{"-32769", IntWidth::Int16, {}, kOut},
        NumberCase{"2147483647", IntWidth::Int32, 2147483647},
        NumberCase{"2147483648", IntWidth::Int32, {}, kOut},
        NumberCase{"-2147483648", IntWidth::Int32, -2147483648LL},
        NumberCase{"99999999999999999999999", IntWidth::Int32, {}, kOut}));

INSTANTIATE_TEST_SUITE_P(
    NotNumbers, ParseNumber,
    ::testing::Values(
        NumberCase{"", IntWidth::Int32, {}, kNaN}, NumberCase{" ", IntWidth::Int32, {}, kNaN},
        NumberCase{"1e3", IntWidth::Int32, {}, kNaN}, NumberCase{"--1", IntWidth::Int32, {}, kNaN},
        NumberCase{"+-1", IntWidth::Int32, {}, kNaN}, NumberCase{"1 2", IntWidth::Int32, {}, kNaN},
        NumberCase{"abc", IntWidth::Int32, {}, kNaN},
        NumberCase{"12abc", IntWidth::Int32, {}, kNaN}, NumberCase{"-", IntWidth::Int32, {}, kNaN},
        NumberCase{".", IntWidth::Int32, {}, kNaN}, NumberCase{",", IntWidth::Int32, {}, kNaN},
        NumberCase{"1.2.3", IntWidth::Int32, {}, kNaN},
        NumberCase{"1,2,", IntWidth::Int32, {}, kNaN},
        NumberCase{"0x10", IntWidth::Int32, {}, kNaN}, NumberCase{"- 1", IntWidth::Int32, {}, kNaN},
        NumberCase{"\xD0\x9F", IntWidth::Int32, {}, kNaN}));

}  // namespace
}  // namespace velkon
