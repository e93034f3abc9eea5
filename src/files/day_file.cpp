#include "files/day_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/unique_fd.h"
#include "files/file_error.h"
#include "files/file_write.h"
#include "protocol/cp1251.h"

namespace velkon {

bool DayFile::append_record(const std::string& line) {
    if (vars_.day_file.empty()) {
        dialogs_.message("Файл записей не был создан при запуске программы. Запись \"" + line +
                         "\" не сохранена.");
        return false;
    }
    const auto bytes = utf8_to_cp1251(line);
    if (!bytes) {
        dialogs_.message("Запись \"" + line +
                         "\" содержит символы, которые нельзя сохранить в файле записей. "
                         "Запись не сохранена.");
        return false;
    }
    const int error = append_whole(vars_.day_file, *bytes + "\r\n");
    if (error == 0) return true;
    dialogs_.message("Не удалось дописать файл записей " + vars_.day_file.string() + ": " +
                     file_error_text(error) + ". Запись \"" + line + "\" не сохранена.");
    return false;
}

int start_day_file(const std::filesystem::path& path, const std::string& now) {
    const std::string header = "Start: " + now + "\r\n\r\n";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return errno;
        const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!fd) return errno == EEXIST ? 0 : errno;
        const ssize_t n = ::write(fd.get(), header.data(), header.size());
        if (n == static_cast<ssize_t>(header.size())) return 0;
        // An empty or cut header would stay for the rest of the day: none at all lets the next
        // start write it.
        const int error = n < 0 ? errno : ENOSPC;
        ::unlink(path.c_str());
        return error;
    }
    if (S_ISLNK(st.st_mode)) return ELOOP;
    if (!S_ISREG(st.st_mode)) return EISDIR;
    // A file that a full disk left without its header gets it now, ahead of what it holds.
    std::string content;
    {
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) return errno;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno;
            if (n == 0) break;
            content.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (content.starts_with("Start: ")) return 0;
    return replace_file(path, header + content);
}

}  // namespace velkon
