#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/unique_fd.h"
#include "files/file_error.h"
#include "files/file_read.h"

namespace velkon {

namespace {

std::string read_error_text(int error) {
    if (error == ENOENT) return "файл не найден";
    if (error == EACCES || error == EPERM) return "нет прав на чтение";
    return file_error_text(error);
}

}  // namespace

std::string read_file_bounded(const std::filesystem::path& path, std::size_t limit,
                              std::string& out) {
    const std::string too_large = "файл больше " + std::to_string(limit / 1024) + " КБ";
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return read_error_text(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return read_error_text(errno);
    if (S_ISDIR(info.st_mode)) return "это папка, а не файл";
    if (!S_ISREG(info.st_mode)) return "это не обычный файл";
    if (static_cast<std::size_t>(info.st_size) > limit) return too_large;
    std::string content;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return read_error_text(errno);
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > limit) return too_large;  // it grew while being read
    }
    out = std::move(content);
    return {};
}

}  // namespace velkon
