// The program folder on Windows and the paths the messages name.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "seams/seams.h"

namespace velkon {
namespace {

std::filesystem::path executable_folder() {
    wchar_t buffer[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH * 4);
    return std::filesystem::path(buffer).parent_path();
}

TEST(Win32ProgramFolder, IsTheExecutablesFolderWhenItCanBeWritten) {
    EXPECT_EQ(default_program_folder(), executable_folder());
}

// Messages are UTF-8 inside the program: a folder named in Cyrillic (a user's profile under
// %LOCALAPPDATA%) must come out of a path as UTF-8, not in the ANSI code page or as an exception.
TEST(Win32ProgramFolder, PathsBecomeUtf8Text) {
    const std::filesystem::path folder = std::filesystem::path(L"C:\\Users\\Иван") / L"base";
    EXPECT_EQ(folder.string(), "C:\\Users\\Иван\\base");
}

}  // namespace
}  // namespace velkon
