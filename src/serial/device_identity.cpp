#include "serial/device_identity.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace velkon {

namespace fs = std::filesystem;

DeviceKey device_key(const std::string& path) {
    DeviceKey key;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode)) {
            key.kind = DeviceKey::Kind::CharDevice;
            key.device = st.st_rdev;
        } else {
            key.kind = DeviceKey::Kind::File;
            key.device = st.st_dev;
            key.inode = st.st_ino;
        }
        return key;
    }
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) absolute = path;
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    key.path = (ec ? absolute.lexically_normal() : canonical).string();
    return key;
}

bool same_device(const std::string& a, const std::string& b) {
    return device_key(a) == device_key(b);
}

}  // namespace velkon
