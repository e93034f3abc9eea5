#include "programs/programs_fixture.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

namespace velkon::test {

std::string OutputPipe::first_line(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{read.get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        const ssize_t n = ::read(read.get(), buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string OutputPipe::rest() {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(read.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string content_of(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace velkon::test
