// Frames on the wire and the check byte shared by every device on the line.
//
// A frame is a std::string holding one char per byte, in wire order; every routine here is
// byte-transparent (NUL and 0x80..0xFF included). The check byte is CRC-8/MAXIM-DOW
// (reflected polynomial 0x8C, initial value 0, no final XOR) over all bytes before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkon {

using Frame = std::string;

inline std::uint8_t byte_at(std::string_view frame, std::size_t index) {
    return static_cast<std::uint8_t>(frame[index]);
}

// One step of the check byte: returns the new value and stores it into `running` too.
std::uint8_t crc(std::uint8_t data, std::uint8_t& running);

// The check byte over all of `bytes` (0 for an intact frame taken with its own check byte).
std::uint8_t check_byte(std::string_view bytes);

// `frame` with its check byte appended.
Frame Control_summ(std::string_view frame);

// Builds a frame from bytes and appends the check byte: make_frame({0x31, 0x01, 0xF0}).
Frame make_frame(std::initializer_list<std::uint8_t> bytes);

// A 32-bit value as 4 bytes, most significant first (the window's `Long_to_string`). Values come
// from a checked conversion, so a negative value cannot reach it.
Frame big_endian_bytes(std::uint32_t value);

// A 16-bit two's-complement value as 2 bytes, high byte first (the level shifts).
Frame shift_bytes(std::int16_t value);

// A bus address typed by the user: a number 0..200, else nothing (the caller says why).
std::optional<std::uint8_t> address_from_text(std::string_view text);

// Unsigned numbers of 1..4 bytes starting at `index`. The devices mix byte orders: the sensor's
// answers and the period of the configuration record go least significant byte first, requests
// and the rest of the tracker's numbers most significant first. The bytes must be there.
std::uint32_t little_endian_at(std::string_view bytes, std::size_t index, std::size_t width);
std::uint32_t big_endian_at(std::string_view bytes, std::size_t index, std::size_t width);

// Upper-case hexadecimal, two digits per byte, no separators ("3105F9FFF6E3").
std::string hex_pairs(std::string_view frame);

}  // namespace velkon
