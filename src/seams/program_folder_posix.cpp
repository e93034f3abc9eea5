// The program folder on Linux: the executable's own folder is usually not writable there, so the
// day files and 123.cfg go to the user's data folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "seams/seams.h"

namespace velkon {

std::filesystem::path default_program_folder() {
    // The rules for XDG_DATA_HOME say a relative path is to be ignored; a relative or missing
    // HOME would put the files under whatever folder the program was started in.
    const auto absolute = [](const char* path) -> std::filesystem::path {
        if (path && *path == '/') return path;
        return {};
    };
    if (auto data_home = absolute(std::getenv("XDG_DATA_HOME")); !data_home.empty()) {
        return data_home / "velkon-configurator";
    }
    std::filesystem::path home = absolute(std::getenv("HOME"));
    if (home.empty()) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) {
            home = absolute(found->pw_dir);
        }
    }
    if (home.empty()) return {};
    return home / ".local" / "share" / "velkon-configurator";
}

}  // namespace velkon
