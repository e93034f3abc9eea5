// Reading a picked file on Win32: opened by its wide (UTF-16) name, checked to be a plain file
// of bounded size before anything is read.
#include <windows.h>

#include "files/file_read.h"

namespace velkon {

namespace {

std::string read_error_text(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "файл не найден";
        case ERROR_ACCESS_DENIED:
            return "нет прав на чтение";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "файл открыт другой программой";
        default:
            return "системная ошибка " + std::to_string(error);
    }
}

}  // namespace

std::string read_file_bounded(const std::filesystem::path& path, std::size_t limit,
                              std::string& out) {
    const std::string too_large = "файл больше " + std::to_string(limit / 1024) + " КБ";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return read_error_text(GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "это папка, а не файл";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return read_error_text(GetLastError());
    std::string reason;
    std::string content;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        reason = "это не обычный файл";
    } else if (!GetFileSizeEx(file, &size)) {
        reason = read_error_text(GetLastError());
    } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        reason = too_large;
    } else {
        char buffer[8192];
        DWORD n = 0;
        for (;;) {
            if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
                reason = read_error_text(GetLastError());
                break;
            }
            if (n == 0) break;
            content.append(buffer, n);
            if (content.size() > limit) {  // it grew while being read
                reason = too_large;
                break;
            }
        }
    }
    CloseHandle(file);
    if (reason.empty()) out = std::move(content);
    return reason;
}

}  // namespace velkon
