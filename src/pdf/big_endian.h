// The big-endian fields of font tables. A read past the end gives 0, so that a truncated table
// reads as empty rather than out of bounds.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkon::pdf {

inline unsigned u16(std::string_view data, std::size_t at) {
    if (at > data.size() || data.size() - at < 2) return 0;
    return static_cast<unsigned>(static_cast<unsigned char>(data[at])) << 8 |
           static_cast<unsigned char>(data[at + 1]);
}

inline int s16(std::string_view data, std::size_t at) {
    const unsigned v = u16(data, at);
    return v >= 0x8000 ? static_cast<int>(v) - 0x10000 : static_cast<int>(v);
}

inline std::uint32_t u32(std::string_view data, std::size_t at) {
    if (at > data.size() || data.size() - at < 4) return 0;
    return static_cast<std::uint32_t>(u16(data, at)) << 16 | u16(data, at + 2);
}

}  // namespace velkon::pdf
