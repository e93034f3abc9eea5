// Files written whole or not at all. Both calls return 0 on success or the errno of the call
// that failed (captured at that call, never read back later).
#pragma once

#include <filesystem>
#include <string_view>

namespace velkon {

// Puts `bytes` in the place of `target`: written to a fresh file of a unique name beside it
// (created exclusively, so nothing planted there is followed), then renamed over `target`. A
// failure midway leaves the earlier `target` as it was. The folder is created when missing.
int replace_file(const std::filesystem::path& target, std::string_view bytes);

// Writes `bytes` to a file the user named: a device or a pipe at `target` (/dev/stdout, a FIFO)
// has them written into it and is never replaced; anything else goes through replace_file.
int write_output_file(const std::filesystem::path& target, std::string_view bytes);

// Makes `folder` (and what is missing above it) a folder the program writes in: a symbolic link in
// its place is refused (ELOOP), not followed out of the program folder, and anything else that
// is not a folder gives ENOTDIR. Returns 0 or the error.
int make_own_folder(const std::filesystem::path& folder);

// Appends `bytes` to the existing regular file `file` with one write; when that write fails or
// is short the file is cut back to its earlier size, so a record is never left half written. A
// symbolic link at `file` is refused (ELOOP), not followed.
int append_whole(const std::filesystem::path& file, std::string_view bytes);

#ifdef _WIN32
// Whether a reparse point of this tag is a link (symbolic link, mount point) that the program
// refuses to write through; other tags (a synced cloud file) are ordinary files to it.
bool is_link_reparse_tag(unsigned long tag);
#endif

}  // namespace velkon
