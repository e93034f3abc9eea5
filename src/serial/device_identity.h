// Which device a port name leads to, so that the names of one device are told to be one port:
// /dev/pts/8, /dev/../dev/pts/8, a link to it and a /dev/serial/by-id link alike. Asked of the
// file system with stat(), which follows links and never opens the device.
#pragma once

#include <cstdint>
#include <string>

namespace velkon {

struct DeviceKey {
    // A character device by its device number, whatever node or link names it; any other file
    // (a simulator's link, a test's stand-in) by its file system and inode; a path that leads
    // nowhere by its text, made absolute with "." and ".." and the links of the part that
    // exists resolved, so that two spellings of one absent path still meet.
    enum class Kind { CharDevice, File, Absent };
    Kind kind = Kind::Absent;
    std::uint64_t device = 0;  // CharDevice: st_rdev; File: st_dev
    std::uint64_t inode = 0;   // File
    std::string path;          // Absent
    bool operator==(const DeviceKey&) const = default;
};

DeviceKey device_key(const std::string& path);

bool same_device(const std::string& a, const std::string& b);

}  // namespace velkon
