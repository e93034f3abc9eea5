// Why a file operation failed, in plain Russian. Every file error the program reports goes
// through here, so the same fault is always worded the same way.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkon {

// `error` is the errno of the call that failed, captured right after it.
std::string file_error_text(int error);

// A path as UTF-8 text for a message, and the path a UTF-8 text names. On Windows the narrow
// conversions of std::filesystem go through the ANSI code page, which garbles Cyrillic names.
std::string path_text(const std::filesystem::path& path);
std::filesystem::path path_from_utf8(std::string_view text);

}  // namespace velkon
