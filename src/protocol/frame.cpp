#include "protocol/frame.h"

#include "protocol/number.h"

namespace velkon {

namespace {
// The contribution of each set bit of (data XOR running) to the new check byte.
constexpr std::uint8_t kBitValues[8] = {0x5E, 0xBC, 0x61, 0xC2, 0x9D, 0x23, 0x46, 0x8C};
}  // namespace

std::uint8_t crc(std::uint8_t data, std::uint8_t& running) {
    const std::uint8_t x = data ^ running;
    std::uint8_t result = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (x & (1u << bit)) result ^= kBitValues[bit];
    }
    running = result;
    return result;
}

std::uint8_t check_byte(std::string_view bytes) {
    std::uint8_t running = 0;
    for (char c : bytes) crc(static_cast<std::uint8_t>(c), running);
    return running;
}

Frame Control_summ(std::string_view frame) {
    Frame out(frame);
    out.push_back(static_cast<char>(check_byte(frame)));
    return out;
}

Frame make_frame(std::initializer_list<std::uint8_t> bytes) {
    Frame body;
    for (std::uint8_t b : bytes) body.push_back(static_cast<char>(b));
    return Control_summ(body);
}

Frame big_endian_bytes(std::uint32_t value) {
    Frame out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

Frame shift_bytes(std::int16_t value) {
    const auto v = static_cast<std::uint16_t>(value);
    return Frame{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}

std::optional<std::uint8_t> address_from_text(std::string_view text) {
    const auto value = to_integer(text, IntWidth::Int16);
    if (!value || *value < 0 || *value > 200) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::uint32_t little_endian_at(std::string_view bytes, std::size_t index, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | byte_at(bytes, index + i);
    return value;
}

std::uint32_t big_endian_at(std::string_view bytes, std::size_t index, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | byte_at(bytes, index + i);
    return value;
}

std::string hex_pairs(std::string_view frame) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(frame.size() * 2);
    for (char c : frame) {
        const auto b = static_cast<std::uint8_t>(c);
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

}  // namespace velkon
