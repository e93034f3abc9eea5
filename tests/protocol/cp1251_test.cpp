// The single-byte Cyrillic code page at the boundary between bytes and window text.
#include "protocol/cp1251.h"

#include <gtest/gtest.h>

namespace velkon {
namespace {

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string text = cp1251_to_utf8(all);
    EXPECT_EQ(utf8_to_cp1251(text), all);
    EXPECT_EQ(cp1251_length(text), 256u);
}

struct Mapping {
    const char* utf8;
    std::string bytes;
};

class Cp1251Mapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(Cp1251Mapping, BothWays) {
    EXPECT_EQ(utf8_to_cp1251(GetParam().utf8), GetParam().bytes);
    EXPECT_EQ(cp1251_to_utf8(GetParam().bytes), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Texts, Cp1251Mapping,
                         ::testing::Values(Mapping{"Привет", "\xCF\xF0\xE8\xE2\xE5\xF2"},
                                           Mapping{"АЯая", "\xC0\xDF\xE0\xFF"},
                                           Mapping{"Ёё№", "\xA8\xB8\xB9"}, Mapping{"€", "\x88"},
                                           Mapping{"a1 ", "a1 "}, Mapping{"", ""}));

TEST(Cp1251, NulPassesUnchanged) {
    const std::string with_nul("a\0b", 3);
    EXPECT_EQ(utf8_to_cp1251(with_nul), with_nul);
    EXPECT_EQ(cp1251_to_utf8(with_nul), with_nul);
}

TEST(Cp1251, SingleCharacters) {
    EXPECT_EQ(cp1251_byte(U'Ж'), '\xC6');
    EXPECT_EQ(cp1251_byte(U'\x2116'), '\xB9');  // №
    EXPECT_EQ(cp1251_byte(U'漢'), std::nullopt);
}

class Cp1251Refused : public ::testing::TestWithParam<std::string> {};

// Nothing is dropped or replaced: a text that cannot be encoded is refused whole.
TEST_P(Cp1251Refused, WholeText) {
    EXPECT_EQ(utf8_to_cp1251(GetParam()), std::nullopt);
    EXPECT_EQ(cp1251_length(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Unmappable, Cp1251Refused, ::testing::Values("漢", "ab😀", "Ωmega", "Ǆ"));

INSTANTIATE_TEST_SUITE_P(MalformedUtf8, Cp1251Refused,
                         ::testing::Values("\xD0",      // cut short at the end
                                           "\xD0\x41",  // continuation missing
                                           "a\x80",     // stray continuation byte
                                           "\xE2\x82",  // three-byte form cut short
                                           "\xFF", "\xF8\x88\x80\x80\x80",  // no such lead byte
                                           "\xC0\xAF",                      // overlong "/"
                                           "\xC1\xB1",                      // overlong "1"
                                           "\xE0\x80\xB1",        // overlong "1", three bytes
                                           "\xED\xA0\x80",        // surrogate
                                           "\xF4\x90\x80\x80"));  // beyond U+10FFFF

}  // namespace
}  // namespace velkon
