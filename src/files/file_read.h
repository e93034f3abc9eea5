// Reading a whole file that a user picked, bounded in size.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace velkon {

// Reads a whole regular file of at most `limit` bytes into `out`; "" on success, else why not,
// in plain Russian. Never waits on a device or a pipe that was picked by mistake.
std::string read_file_bounded(const std::filesystem::path& path, std::size_t limit,
                              std::string& out);

}  // namespace velkon
