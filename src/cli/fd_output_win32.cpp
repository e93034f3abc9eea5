// FdOutput on Windows. A console is given UTF-16 (WriteConsoleW), so the Russian text shows
// whatever code page the console has; a sequence cut at the buffer's end waits for its rest.
// A file or a pipe gets the bytes as they are: UTF-8, with the same line ends as on Linux.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "base/utf8.h"
#include "cli/fd_output.h"

namespace velkon::cli {

namespace {

int errno_of(DWORD error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

// How many bytes at the end of `text` begin a sequence that the next bytes may complete.
std::size_t cut_tail(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: the lead is further back
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

// `text` as UTF-16; a malformed byte becomes U+FFFD.
std::wstring wide_of(std::string_view text) {
    std::wstring out;
    for (std::size_t at = 0; at < text.size();) {
        char32_t cp = 0xFFFD;
        if (const auto decoded = utf8::decode(text, at)) {
            cp = *decoded;
        } else {
            ++at;
        }
        if (cp >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

}  // namespace

bool FdOutput::flush_buffer() {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    std::string_view pending(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    DWORD mode = 0;
    const bool console = GetConsoleMode(handle, &mode) != 0;
    std::size_t keep = 0;
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = error_ ? error_ : EBADF;
    } else if (console) {
        keep = cut_tail(pending);
        const std::wstring wide = wide_of(pending.substr(0, pending.size() - keep));
        for (std::size_t from = 0; error_ == 0 && from < wide.size();) {
            DWORD written = 0;
            const auto n = static_cast<DWORD>(wide.size() - from);
            if (!WriteConsoleW(handle, wide.data() + from, n, &written, nullptr) || written == 0) {
                error_ = errno_of(GetLastError());
            }
            from += written;
        }
    } else {
        for (std::size_t from = 0; error_ == 0 && from < pending.size();) {
            DWORD written = 0;
            const auto n = static_cast<DWORD>(pending.size() - from);
            if (!WriteFile(handle, pending.data() + from, n, &written, nullptr) || written == 0) {
                error_ = errno_of(GetLastError());
            }
            from += written;
        }
    }
    // What could not be written is dropped: it would only fail again. A cut sequence moves to
    // the front, for the bytes that complete it.
    std::string tail(pending.substr(pending.size() - keep));
    setp(buffer_, buffer_ + sizeof buffer_);
    for (const char c : tail) sputc(c);
    return error_ == 0;
}

FdOutput::int_type FdOutput::overflow(int_type c) {
    if (!flush_buffer()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int FdOutput::sync() {
    return flush_buffer() ? 0 : -1;
}

}  // namespace velkon::cli
