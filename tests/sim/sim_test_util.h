// Helpers of the simulator's tests: frames written as hexadecimal text, fields read back by hand
// at 1-based positions, and the configurator's end of a pseudo-terminal.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/frame.h"

namespace velkon::sim::simtest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// "31 01 F0 C5" -> bytes. Spaces are ignored.
inline std::string bytes(std::string_view hex) {
    std::string out;
    int pending = -1;
    for (char c : hex) {
        if (c == ' ') continue;
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : c - 'a' + 10;
        if (pending < 0) {
            pending = digit;
        } else {
            out.push_back(static_cast<char>(pending * 16 + digit));
            pending = -1;
        }
    }
    return out;
}

// The same bytes with their check byte appended.
inline std::string framed(std::string_view hex) {
    return Control_summ(bytes(hex));
}

// Field readers at 1-based frame positions, as the protocol tables count them.
inline std::uint8_t at(std::string_view f, std::size_t pos) {
    return static_cast<std::uint8_t>(f.at(pos - 1));
}
inline std::uint32_t le(std::string_view f, std::size_t pos, int width) {
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = v << 8 | at(f, pos + i);
    return v;
}
inline std::uint32_t be(std::string_view f, std::size_t pos, int width) {
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) v = v << 8 | at(f, pos + i);
    return v;
}
// A text field: its bytes up to the first NUL.
inline std::string text(std::string_view f, std::size_t pos, std::size_t width) {
    const auto field = f.substr(pos - 1, width);
    return std::string(field.substr(0, field.find('\0')));
}

// The configurator's side of the line: the slave opened raw, non-blocking; reads wait with poll()
// up to a deadline.
class LineClient {
  public:
    explicit LineClient(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::cfsetspeed(&tio, B19200);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~LineClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(std::string_view data) {
        return ::write(fd_, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    }

    // Reads until `count` bytes came, the line failed, or `timeout` passed.
    std::string receive(std::size_t count, std::chrono::milliseconds timeout = 3s) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < count) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (!(p.revents & POLLIN)) break;
            char buffer[512];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

  private:
    int fd_;
};

}  // namespace velkon::sim::simtest
