// UTF-8, strictly: the one decoder and encoder of every layer. A sequence is taken only in its
// shortest form, never as a surrogate or past U+10FFFF: accepting an overlong form would let a
// byte reach a frame or a file in a disguise that no check of the plain text sees.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velkon::utf8 {

// The code point of the sequence at `at`, moving `at` past it; nothing for a malformed or cut
// sequence (`at` then stays where it was).
std::optional<char32_t> decode(std::string_view text, std::size_t& at);

// `cp` appended in UTF-8; a surrogate or a value past U+10FFFF appends U+FFFD.
void append(std::string& out, char32_t cp);

bool valid(std::string_view text);

// The number of code points; nothing for malformed text.
std::optional<std::size_t> count(std::string_view text);

}  // namespace velkon::utf8
