#include <cerrno>
#include <fstream>
#include <system_error>

#include "app/form.h"
#include "protocol/cp1251.h"

namespace velkon {

namespace {

// A start-up fault: the number shown in the box title and its description.
struct StartupError {
    int number = 0;
    std::string description;
};

// Why a file operation failed, in plain Russian.
std::string reason_of(const std::error_code& ec) {
    switch (ec.value()) {
        case EACCES:
        case EPERM:
            return "нет прав на запись";
        case EROFS:
            return "файловая система только для чтения";
        case ENOTDIR:
            return "на месте папки находится файл";
        case EEXIST:
            return "на месте папки находится файл";
        case ENOSPC:
            return "нет места на диске";
        case ENOENT:
            return "путь не найден";
        default:
            return ec.message();
    }
}

// The numbers the start-up box has always shown for these faults.
int error_number(const std::error_code& ec) {
    switch (ec.value()) {
        case ENOENT:
        case ENOTDIR:
            return 76;  // path not found
        default:
            return 75;  // path/file access error
    }
}

std::optional<StartupError> make_base_folder(const std::filesystem::path& folder) {
    std::error_code ec;
    const auto base = folder / "base";
    if (std::filesystem::exists(base, ec)) {
        if (std::filesystem::is_directory(base, ec)) return std::nullopt;
        ec = std::make_error_code(std::errc::not_a_directory);
    } else {
        std::filesystem::create_directories(base, ec);
        if (!ec) return std::nullopt;
    }
    return StartupError{error_number(ec),
                        "Не удалось создать папку " + base.string() + ": " + reason_of(ec)};
}

// Writes the day file's header unless the file already exists.
std::optional<StartupError> start_day_file(const std::filesystem::path& path,
                                           const std::string& now) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return std::nullopt;
    std::ofstream out(path, std::ios::binary);
    if (out)
        out << "Start: " << now << "\r\n"
            << "\r\n";
    out.close();
    if (out) return std::nullopt;
    const std::error_code why(errno ? errno : EACCES, std::generic_category());
    return StartupError{error_number(why),
                        "Не удалось создать файл " + path.string() + ": " + reason_of(why)};
}

}  // namespace

void Form::Form_Load() {
    vars().mode_yes = true;
    vars().Ur_progressBar = 1024;
    m_.clear_items("CmbNet");
    m_.add_item("CmbNet", "0");
    m_.set_selected("CmbNet", 0);

    m_.tag_untagged("2");
    m_.set_tab(0);
    m_.set_timer_enabled("Timer1", true);
    m_.set_enabled("BTNOpenCom", true);

    // The day file comes last, so a folder that cannot be written still leaves the link usable.
    const std::string now = s_.clock.now_text();
    std::optional<StartupError> error;
    if (now.size() < 10 || now[2] != '.' || now[5] != '.') {
        error = StartupError{13, "Неверный формат даты: " + now};
    } else {
        const std::string day_name = now.substr(0, 2) + now.substr(3, 2) + now.substr(8, 2);
        error = make_base_folder(s_.program_folder);
        if (!error) {
            vars().day_file = s_.program_folder / "base" / (day_name + ".dat");
            error = start_day_file(vars().day_file, now);
        }
    }
    if (error) {
        s_.dialogs.message(error->description, Dialogs::Icon::Critical,
                           "Error#" + std::to_string(error->number));
    }
}

void Form::Form_QueryUnload() {
    BTNCloseCom_Click();
    ended_ = true;
    if (on_end_program) on_end_program();
}

void Form::Form_Terminate() {
    m_.set_timer_enabled("TMRComm", false);
    BTNCloseCom_Click();
    ended_ = true;
    if (on_end_program) on_end_program();
}

bool Form::append_day_record(const std::string& line) {
    if (vars().day_file.empty()) {
        s_.dialogs.message("Файл записей не был создан при запуске программы. Запись \"" + line +
                           "\" не сохранена.");
        return false;
    }
    const auto bytes = utf8_to_cp1251(line);
    if (!bytes) {
        s_.dialogs.message("Запись \"" + line +
                           "\" содержит символы, которые нельзя сохранить в файле записей. "
                           "Запись не сохранена.");
        return false;
    }
    std::ofstream out(vars().day_file, std::ios::binary | std::ios::app);
    if (out) out << *bytes << "\r\n";
    out.close();
    if (out) return true;
    const std::error_code why(errno ? errno : EACCES, std::generic_category());
    s_.dialogs.message("Не удалось дописать файл записей " + vars().day_file.string() + ": " +
                       reason_of(why) + ". Запись \"" + line + "\" не сохранена.");
    return false;
}

}  // namespace velkon
