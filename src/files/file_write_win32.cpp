// Files written whole or not at all, on Win32: the same promises as on POSIX, with the system's
// error codes turned into the errno values the messages are worded for. Paths go to the wide
// (UTF-16) calls, so a folder named in Cyrillic works whatever the system's ANSI code page.
//
// Only symbolic links and mount points (junctions) are refused as links: files in folders that
// OneDrive syncs carry reparse points of their own and are ordinary files to us. A file that
// another program holds (Excel, a virus scan) is tried again for a moment and then reported as
// busy, not as a lack of rights.
#include <windows.h>

#include <cerrno>
#include <random>
#include <string>
#include <system_error>

#include "files/day_file.h"
#include "files/file_write.h"

namespace velkon {

namespace fs = std::filesystem;

namespace {

int errno_for(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EBUSY;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_DIRECTORY:
            return EISDIR;
        default:
            return EIO;
    }
}

class FileHandle {
  public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (*this) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE; }
    void close() {
        if (*this) CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

  private:
    HANDLE h_;
};

// Writes all of `bytes` in one call; 0 or the errno of the failure (a short write is ENOSPC).
int write_all(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return errno_for(GetLastError());
    return written == bytes.size() ? 0 : ENOSPC;
}

constexpr int kBusyTries = 5;
constexpr DWORD kBusyPauseMs = 40;  // a virus scan of a small file ends within this

// CreateFileW, tried again for a moment while another program holds the file.
HANDLE create_file_patiently(const fs::path& path, DWORD access, DWORD share, DWORD disposition,
                             DWORD flags) {
    for (int attempt = 1;; ++attempt) {
        const HANDLE h =
            CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE || attempt == kBusyTries) return h;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) return h;
        Sleep(kBusyPauseMs);
        SetLastError(error);
    }
}

// The reparse tag of `path` (0 for none or when it cannot be read).
DWORD reparse_tag(const fs::path& path) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
}

}  // namespace

bool is_link_reparse_tag(unsigned long tag) {
    return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

int replace_file(const fs::path& target, std::string_view bytes) {
    // A bare file name has no parent: it lives in the current folder, which exists.
    if (target.has_parent_path()) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) return ec.value();
    }
    std::random_device seed;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const fs::path temp =
            target.parent_path() / (L"." + target.filename().wstring() + L"." +
                                    std::to_wstring(seed() ^ GetCurrentProcessId()));
        // CREATE_NEW: a name already there (planted or left over) is never written through.
        FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS) continue;
            return errno_for(error);
        }
        int error = write_all(file.get(), bytes);
        if (error == 0 && !FlushFileBuffers(file.get())) error = errno_for(GetLastError());
        file.close();
        if (error == 0 && !MoveFileExW(temp.c_str(), target.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = errno_for(GetLastError());
        }
        if (error != 0) DeleteFileW(temp.c_str());
        return error;
    }
    return EEXIST;
}

// No device or pipe names a target on Windows the way /dev/stdout does on POSIX.
int write_output_file(const fs::path& target, std::string_view bytes) {
    return replace_file(target, bytes);
}

int append_whole(const fs::path& file, std::string_view bytes) {
    const DWORD tag = reparse_tag(file);
    if (is_link_reparse_tag(tag)) return ELOOP;
    // A plain file is opened as itself, so a link put in its place meanwhile is not followed; a
    // synced file is opened through its reparse point as the system means it to be.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (tag == 0 ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    FileHandle out(create_file_patiently(file,
                                         FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | GENERIC_WRITE,
                                         FILE_SHARE_READ, OPEN_EXISTING, flags));
    if (!out) return errno_for(GetLastError());
    LARGE_INTEGER before{};
    if (!GetFileSizeEx(out.get(), &before)) return errno_for(GetLastError());
    LARGE_INTEGER end{};
    SetFilePointerEx(out.get(), LARGE_INTEGER{}, &end, FILE_END);
    const int error = write_all(out.get(), bytes);
    if (error != 0) {
        // Whatever part of the record reached the file goes again.
        SetFilePointerEx(out.get(), before, nullptr, FILE_BEGIN);
        SetEndOfFile(out.get());
    }
    return error;
}

int start_day_file(const fs::path& path, const std::string& now) {
    const std::string header = "Start: " + now + "\r\n\r\n";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD missing = GetLastError();
        if (missing != ERROR_FILE_NOT_FOUND) return errno_for(missing);
        FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_EXISTS ? 0 : errno_for(error);
        }
        // An empty or cut header would stay for the rest of the day: none at all lets the next
        // start write it.
        const int error = write_all(file.get(), header);
        file.close();
        if (error != 0) DeleteFileW(path.c_str());
        return error;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && is_link_reparse_tag(reparse_tag(path)))
        return ELOOP;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
    // A file that a full disk left without its header gets it now, ahead of what it holds.
    std::string content;
    {
        FileHandle in(create_file_patiently(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL));
        if (!in) return errno_for(GetLastError());
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(in.get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
            content.append(buffer, n);
    }
    if (content.starts_with("Start: ")) return 0;
    return replace_file(path, header + content);
}

}  // namespace velkon
