// UTF-8 inside the program, UTF-16 at the Win32 boundary.
#pragma once

#include <string>
#include <string_view>

namespace velkon::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// The text of a window, as UTF-8.
std::string window_text(void* hwnd);

// The user's decimal separator ("," on a Russian desktop), as UTF-8; "." when none is set.
std::string user_decimal_separator();

}  // namespace velkon::win32
