// The single-byte Cyrillic code page (CP1251) at the boundary between the wire or the day file
// (bytes) and the window (UTF-8 text). Every byte 0x00..0xFF decodes; encoding refuses a text
// that holds a character the code page cannot represent, or malformed UTF-8, rather than
// dropping or replacing it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velkon {

std::string cp1251_to_utf8(std::string_view bytes);
std::optional<std::string> utf8_to_cp1251(std::string_view utf8);

// The byte of one character, if the code page has it.
std::optional<char> cp1251_byte(char32_t code_point);

// Whether the text is well-formed UTF-8: no overlong forms, surrogates or values past U+10FFFF.
bool utf8_well_formed(std::string_view utf8);

// How many bytes the text takes on the wire, or nothing when it cannot be encoded.
std::optional<std::size_t> cp1251_length(std::string_view utf8);

}  // namespace velkon
