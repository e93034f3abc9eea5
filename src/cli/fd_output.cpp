#include "cli/fd_output.h"

#include <unistd.h>

#include <cerrno>

namespace velkon::cli {

bool FdOutput::flush_buffer() {
    const char* from = pbase();
    const char* const end = pptr();
    while (error_ == 0 && from < end) {
        const ssize_t n = ::write(fd_, from, static_cast<std::size_t>(end - from));
        if (n > 0) {
            from += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error_ = n < 0 ? errno : EIO;
        }
    }
    // What could not be written is dropped: it would only fail again.
    setp(buffer_, buffer_ + sizeof buffer_);
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
