// The program folder on Windows: the executable's folder, where base\ and 123.cfg have always
// been. An install under Program Files cannot write there, so such an install uses
// %LOCALAPPDATA%\velkon-configurator instead.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "seams/seams.h"

namespace velkon {

namespace {

std::filesystem::path executable_folder() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer).parent_path();
        }
        buffer.resize(buffer.size() * 2);  // a long path: try again with more room
    }
}

// Asks the file system itself: folder permissions, UAC virtualisation and read-only media all
// decide together, and only a real file tells.
bool can_write_in(const std::filesystem::path& folder) {
    if (folder.empty()) return false;
    const std::filesystem::path probe = folder / L".velkon-write-probe";
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

}  // namespace

std::filesystem::path default_program_folder() {
    const std::filesystem::path own = executable_folder();
    if (can_write_in(own)) return own;
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local) return std::filesystem::path(local) / L"velkon-configurator";
    return own;  // nowhere better: start-up reports what cannot be written
}

}  // namespace velkon
