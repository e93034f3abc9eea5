#include "base/utf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velkon {
namespace {

struct Utf8Case {
    const char* name;
    std::string bytes;
    std::optional<std::size_t> count;  // nothing: malformed
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf8Table : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Table, CountsOrRefuses) {
    EXPECT_EQ(utf8::count(GetParam().bytes), GetParam().count);
    EXPECT_EQ(utf8::valid(GetParam().bytes), GetParam().count.has_value());
}

// A well-formed text decodes and encodes back to the same bytes.
TEST_P(Utf8Table, WellFormedTextRoundTrips) {
    const std::string& bytes = GetParam().bytes;
    if (!GetParam().count) return;
    std::string again;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto cp = utf8::decode(bytes, at);
        ASSERT_TRUE(cp.has_value());
        utf8::append(again, *cp);
    }
    EXPECT_EQ(again, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Table,
    ::testing::Values(Utf8Case{"empty", "", 0}, Utf8Case{"ascii", "ABC", 3},
                      Utf8Case{"nul", std::string(1, '\0'), 1}, Utf8Case{"cyrillic", "Ёж", 2},
                      Utf8Case{"euro", "\xE2\x82\xAC", 1}, Utf8Case{"largest_two", "\xDF\xBF", 1},
                      Utf8Case{"last_before_surrogates", "\xED\x9F\xBF", 1},
                      Utf8Case{"first_after_surrogates", "\xEE\x80\x80", 1},
                      Utf8Case{"four_bytes", "\xF0\x9F\x98\x80", 1},
                      Utf8Case{"largest", "\xF4\x8F\xBF\xBF", 1},
                      Utf8Case{"overlong_slash", "\xC0\xAF", std::nullopt},
                      Utf8Case{"overlong_nul", "\xC0\x80", std::nullopt},
                      Utf8Case{"overlong_three", "\xE0\x80\xAF", std::nullopt},
                      Utf8Case{"overlong_four", "\xF0\x80\x80\xAF", std::nullopt},
                      Utf8Case{"surrogate_high", "\xED\xA0\x80", std::nullopt},
                      Utf8Case{"surrogate_low", "\xED\xBF\xBF", std::nullopt},
                      Utf8Case{"past_max", "\xF4\x90\x80\x80", std::nullopt},
                      Utf8Case{"five_byte_lead", "\xF8\x88\x80\x80\x80", std::nullopt},
                      Utf8Case{"lone_continuation", "\x80", std::nullopt},
                      Utf8Case{"cut_short", "A\xD0", std::nullopt},
                      Utf8Case{"cut_four", "\xF0\x9F\x98", std::nullopt},
                      Utf8Case{"bad_continuation", "\xD0\x41", std::nullopt},
                      Utf8Case{"byte_ff", "\xFF", std::nullopt}));

TEST(Utf8Decode, LeavesThePositionOnAMalformedSequence) {
    const std::string text = "\xD0\x96\xC0\xAF";
    std::size_t at = 0;
    EXPECT_EQ(utf8::decode(text, at), char32_t{0x416});
    EXPECT_EQ(at, 2u);
    EXPECT_EQ(utf8::decode(text, at), std::nullopt);
    EXPECT_EQ(at, 2u);
}

TEST(Utf8Append, ReplacesWhatIsNoCharacter) {
    std::string out;
    utf8::append(out, 0xD800);
    utf8::append(out, 0x110000);
    EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace velkon
