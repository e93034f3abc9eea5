#include "files/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "base/unique_fd.h"
#include "files/day_file.h"

namespace velkon {

namespace fs = std::filesystem;

namespace {

// Writes all of `bytes`, retrying after signals; 0 or the errno of the failing write.
int write_all(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The mode a newly created file gets from open(..., 0666): the process's umask applied. Read from
// /proc so no other thread sees a changed umask; where that is missing, the brief swap is the only
// way to learn it.
mode_t new_file_mode() {
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, status))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        std::fclose(status);
        if (found) return static_cast<mode_t>(0666 & ~mask);
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

int replace_file(const fs::path& target, std::string_view bytes) {
    // A bare file name has no parent: it lives in the current folder, which exists.
    if (target.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) return ec.value();
    }
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) return errno;
    // mkostemp makes the file 0600; the replacement keeps the mode of the file it replaces, and a
    // new file gets the user's usual one, so colleagues and shares can read what was exported.
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
    int error = ::fchmod(fd.get(), mode) != 0 ? errno : 0;
    if (error == 0) error = write_all(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    // Some file systems (NFS, a full quota) report a lost write only here.
    if (::close(fd.release()) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}

int write_output_file(const fs::path& target, std::string_view bytes) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
        return replace_file(target, bytes);
    }
    // A device or a pipe is written into, never replaced by a file of that name. Non-blocking
    // only for the open: a pipe without a reader fails instead of waiting for one.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return errno;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
    int error = write_all(fd.get(), bytes);
    if (::close(fd.release()) != 0 && error == 0) error = errno;
    return error;
}

int append_whole(const fs::path& file, std::string_view bytes) {
    const UniqueFd fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return EISDIR;
    const off_t before = st.st_size;
    const int error = write_all(fd.get(), bytes);
    if (error != 0) {
        // Whatever part of the record reached the file goes again.
        while (::ftruncate(fd.get(), before) != 0 && errno == EINTR) {
        }
    }
    return error;
}

int start_day_file(const std::filesystem::path& path, const std::string& now) {
    const std::string header = "Start: " + now + "\r\n\r\n";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return errno;
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!fd) return errno == EEXIST ? 0 : errno;
        int error = write_all(fd.get(), header);
        if (::close(fd.release()) != 0 && error == 0) error = errno;
        if (error == 0) return 0;
        // An empty or cut header would stay for the rest of the day: none at all lets the next
        // start write it.
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
