// The one conversion of user-typed text to a whole number, used by every command.
//
// Accepted: surrounding blanks, an optional sign, digits, and an optional fractional part after
// "." or ","; the value is rounded to a whole number with halves going to the even neighbour
// ("2.5" -> 2, "3.5" -> 4, "-0.5" -> 0). Anything else (empty text, letters, two signs, a lone
// point, exponents, inner blanks) is not a number. A number that does not fit the width is
// reported as such; no input makes the conversion fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velkon {

enum class IntWidth {
    Byte,   // 0..255
    Int16,  // -32768..32767
    Int32,  // -2147483648..2147483647
};

enum class NumberError { NotANumber, OutOfWidth };

struct Number {
    std::optional<std::int64_t> value;
    NumberError error = NumberError::NotANumber;  // meaningful only without a value
    explicit operator bool() const { return value.has_value(); }
    std::int64_t operator*() const { return *value; }
};

Number parse_number(std::string_view text, IntWidth width);

// Shorthand: the value, or nothing when the text is not a number of that width.
std::optional<std::int64_t> to_integer(std::string_view text, IntWidth width);

}  // namespace velkon
