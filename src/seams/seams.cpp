#include "seams/seams.h"

#include <cstdlib>
#include <ctime>

#include "serial/serial_port.h"

namespace velkon {

std::filesystem::path Dialogs::open_file(const std::string&, const std::filesystem::path&,
                                         const std::vector<FileFilter>&) {
    return {};
}

std::filesystem::path Dialogs::save_file(const std::string&, const std::filesystem::path&,
                                         const std::vector<FileFilter>&) {
    return {};
}

void ReadRunner::flush(SerialPort& port) {
    port.FlushPort();
}

void SyncReadRunner::read(SerialPort& port, std::function<void(std::string)> done) {
    done(port.ReadPort());
}

std::string SystemClock::now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return text;
}

std::filesystem::path default_program_folder() {
    const char* data_home = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (data_home && *data_home) {
        base = data_home;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
    }
    return base / "velkon-configurator";
}

}  // namespace velkon
