// Files written whole or not at all, and the wording of file errors.
#include "files/file_write.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "files/file_error.h"
#include "support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace velkon {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(ReplaceFile, ReplacesWholeAndLeavesNoTemporaryFile) {
    TempDir dir;
    dir.write_file("a.cfg", "old");
    EXPECT_EQ(replace_file(dir.path() / "a.cfg", std::string("new\0bytes", 9)), 0);
    EXPECT_EQ(dir.read_file("a.cfg"), std::string("new\0bytes", 9));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(ReplaceFile, AFailureKeepsTheEarlierFileAndSaysWhy) {
    TempDir dir;
    dir.make_dir("a.cfg/inside");  // a folder in the file's place
    const int error = replace_file(dir.path() / "a.cfg", "new");
    EXPECT_NE(error, 0);
    EXPECT_TRUE(fs::is_directory(dir.path() / "a.cfg" / "inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

#ifndef _WIN32
// Not the temporary file's 0600: a new file as the umask makes it, a replaced file keeps its mode.
TEST(ReplaceFile, NewFilesFollowTheUmaskReplacedFilesKeepTheirMode) {
    TempDir dir;
    const mode_t mask = ::umask(027);
    EXPECT_EQ(replace_file(dir.path() / "new.csv", "x"), 0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "new.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(::chmod((dir.path() / "new.csv").c_str(), 0604), 0);
    EXPECT_EQ(replace_file(dir.path() / "new.csv", "y"), 0);
    ASSERT_EQ(::stat((dir.path() / "new.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}
#endif

// A file named as people type it: bare, ./name, a relative folder (made when missing), absolute.
TEST(ReplaceFile, TakesEveryFormOfName) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    for (const fs::path& name : {fs::path("truck.json"), fs::path("./dot.json"),
                                 fs::path("fleet/unit.json"), dir.path() / "abs.json"}) {
        EXPECT_EQ(replace_file(name, "{}"), 0) << name;
        EXPECT_EQ(dir.read_file(name.is_absolute() ? name.filename() : name), "{}") << name;
    }
    fs::current_path(before);
}

TEST(AppendWhole, AppendsAndRefusesLinksAndFolders) {
    TempDir dir;
    dir.write_file("day.dat", "Start\r\n");
    EXPECT_EQ(append_whole(dir.path() / "day.dat", "1;2;3\r\n"), 0);
    EXPECT_EQ(dir.read_file("day.dat"), "Start\r\n1;2;3\r\n");

    dir.write_file("elsewhere.txt", "");
    // Windows lets only administrators make symbolic links; where one can be made, it is refused.
    std::error_code no_link;
    fs::create_symlink(dir.path() / "elsewhere.txt", dir.path() / "link.dat", no_link);
    if (!no_link) {
        EXPECT_EQ(append_whole(dir.path() / "link.dat", "x"), ELOOP);
        EXPECT_EQ(dir.read_file("elsewhere.txt"), "");
    }

    dir.make_dir("folder.dat");
    EXPECT_NE(append_whole(dir.path() / "folder.dat", "x"), 0);
    EXPECT_EQ(append_whole(dir.path() / "missing.dat", "x"), ENOENT);
}

#ifdef _WIN32
// A day file that another program holds without sharing (Excel does) is reported as busy, and
// the record is not lost in a half-written state.
TEST(AppendWhole, AFileHeldByAnotherProgramIsBusyNotForbidden) {
    TempDir dir;
    dir.write_file("day.dat", "Start\r\n");
    const fs::path file = dir.path() / "day.dat";
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const int error = append_whole(file, "1;2;3\r\n");
    CloseHandle(held);
    EXPECT_EQ(error, EBUSY);
    EXPECT_EQ(file_error_text(error), "файл открыт другой программой");
    EXPECT_EQ(dir.read_file("day.dat"), "Start\r\n");
}

TEST(AppendWhole, OnlyLinksAndMountPointsAreRefusedAmongReparsePoints) {
    EXPECT_TRUE(is_link_reparse_tag(IO_REPARSE_TAG_SYMLINK));
    EXPECT_TRUE(is_link_reparse_tag(IO_REPARSE_TAG_MOUNT_POINT));
    // A file in a folder OneDrive syncs, and a deduplicated one: ordinary files to us.
    EXPECT_FALSE(is_link_reparse_tag(0x9000001AUL));  // IO_REPARSE_TAG_CLOUD
    EXPECT_FALSE(is_link_reparse_tag(0x80000013UL));  // IO_REPARSE_TAG_DEDUP
    EXPECT_FALSE(is_link_reparse_tag(0));
}
#endif

TEST(FileErrorText, IsRussianForEveryError) {
    for (int error :
         {EACCES, EROFS, ENOSPC, EISDIR, ENOTDIR, ENOENT, ENAMETOOLONG, ELOOP, EIO, EXDEV, 9999}) {
        const std::string text = file_error_text(error);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
                  std::string::npos)
            << text;
    }
}

}  // namespace
}  // namespace velkon
