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
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return 0;
    if (errno != ENOENT) return errno;
    const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd) return errno == EEXIST ? 0 : errno;
    const std::string header = "Start: " + now + "\r\n\r\n";
    const ssize_t n = ::write(fd.get(), header.data(), header.size());
    if (n == static_cast<ssize_t>(header.size())) return 0;
    const int error = n < 0 ? errno : ENOSPC;
    ::unlink(path.c_str());
    return error;
}

}  // namespace velkon
