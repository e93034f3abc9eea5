// The narrow argv of a Windows program is in the ANSI code page, where a Cyrillic name may not
// even exist: the arguments are taken from the wide command line instead.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "base/utf8.h"
#include "cli/fd_output.h"
#include "cli/system_io.h"

namespace velkon::cli {

std::string utf8_from_wide(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char16_t>(text[i]);
        const char16_t next = i + 1 < text.size() ? static_cast<char16_t>(text[i + 1]) : 0;
        if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
            ++i;
        }
        utf8::append(out, cp);
    }
    return out;
}

std::vector<std::string> program_arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i) args.push_back(utf8_from_wide(wide[i]));
    LocalFree(wide);
    return args;
}

std::ostream& message_output() {
    static FdOutput buffer(2);
    static std::ostream stream(&buffer);
    stream.setf(std::ios::unitbuf);
    return stream;
}

}  // namespace velkon::cli
