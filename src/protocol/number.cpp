#include "protocol/number.h"

#include <string>

namespace velkon {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::pair<std::int64_t, std::int64_t> bounds(IntWidth width) {
    switch (width) {
        case IntWidth::Byte:
            return {0, 255};
        case IntWidth::Int16:
            return {-32768, 32767};
        case IntWidth::Int32:
            return {-2147483648LL, 2147483647LL};
    }
    return {0, 0};
}

}  // namespace

Number parse_number(std::string_view text, IntWidth width) {
    Number result;
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    std::string_view s = text.substr(begin, end - begin);

    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    std::size_t i = 0;
    std::string whole;
    while (i < s.size() && is_digit(s[i])) whole.push_back(s[i++]);
    std::string fraction;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
        ++i;
        while (i < s.size() && is_digit(s[i])) fraction.push_back(s[i++]);
    }
    if (i != s.size() || (whole.empty() && fraction.empty())) return result;  // not a number

    // Leading zeros carry no value; more than 18 digits cannot fit any width.
    const auto first = whole.find_first_not_of('0');
    whole = first == std::string::npos ? std::string() : whole.substr(first);
    result.error = NumberError::OutOfWidth;
    if (whole.size() > 18) return result;

    std::int64_t magnitude = 0;
    for (char c : whole) magnitude = magnitude * 10 + (c - '0');

    // Round the fraction: above one half up, exactly one half to even, below down.
    if (!fraction.empty()) {
        const auto last = fraction.find_last_not_of('0');
        if (last != std::string::npos) {
            fraction.resize(last + 1);
            const bool half_or_more = fraction[0] >= '5';
            const bool exactly_half = fraction == "5";
            if (half_or_more && !(exactly_half && magnitude % 2 == 0)) ++magnitude;
        }
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    const auto [low, high] = bounds(width);
    if (value < low || value > high) return result;
    result.value = value;
    return result;
}

std::optional<std::int64_t> to_integer(std::string_view text, IntWidth width) {
    return parse_number(text, width).value;
}

}  // namespace velkon
