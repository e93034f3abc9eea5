#include <cerrno>
#include <system_error>

#include "files/file_write.h"

namespace velkon {

namespace fs = std::filesystem;

int make_own_folder(const fs::path& folder) {
    std::error_code ec;
    auto status = fs::symlink_status(folder, ec);
    if (!fs::exists(status)) {
        ec.clear();
        fs::create_directories(folder, ec);
        if (ec) return ec.value();
        status = fs::symlink_status(folder, ec);  // a link planted meanwhile counts too
    }
    if (fs::is_symlink(status)) return ELOOP;
    if (!fs::is_directory(status)) return ENOTDIR;
    return 0;
}

}  // namespace velkon
