// What velkon-cli's start takes from its system: the command line as UTF-8 (on Windows from the
// wide command line, so that a Cyrillic file name arrives whatever the console's code page), and
// the stream its messages go to.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace velkon::cli {

// The arguments after the program's name.
std::vector<std::string> program_arguments(int argc, char** argv);

// The error output: std::cerr on POSIX; on Windows an FdOutput over descriptor 2 flushed after
// every message, so that a console shows the UTF-8 text as it is.
std::ostream& message_output();

#ifdef _WIN32
// UTF-16 (the system's wide text) as UTF-8; a surrogate without its pair becomes U+FFFD.
std::string utf8_from_wide(std::wstring_view text);
#endif

}  // namespace velkon::cli
