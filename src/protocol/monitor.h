// Text of the traffic monitor: the hexadecimal dump and the cleaned text of frames, and the two
// echoes the window shows. Results are UTF-8 display text with CR LF line breaks; bytes
// 0x80..0xFF are shown through CP1251.
#pragma once

#include <string>
#include <string_view>

namespace velkon {

// Each byte in upper-case hexadecimal without leading zeros, followed by one space ("31 1 F0 C5 ").
std::string hex_dump(std::string_view frame);

// Each byte in its display form: <ACK>, <NAK>, itself from 0x30 up, <CR>, <LF>, else "@".
std::string CleanStr(std::string_view frame);

// Hex dump, two CR LF, cleaned text. An empty frame gives just CR LF CR LF.
std::string request_echo(std::string_view frame);

// The request echo of what was sent, then the received bytes with the check byte computed over
// all but the last, a blank line, the cleaned answer and the check over all received bytes
// ("0" for an intact frame). `answer` must not be empty.
std::string answer_echo(std::string_view request, std::string_view answer);

}  // namespace velkon
