#include "shell/shell.h"

#include <cerrno>
#include <system_error>

#include "files/day_file.h"
#include "files/file_error.h"
#include "files/file_write.h"

namespace velkon {

namespace {

// A start-up fault: the number shown in the box title and its description.
struct StartupError {
    int number = 0;
    std::string description;
};

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

// The path that stands in the way of `folder`: the nearest of it and the folders above it that
// exists as something other than a folder; `folder` itself when none does.
std::filesystem::path blocker_of(const std::filesystem::path& folder) {
    for (auto p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(p, ec);
        if (!ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status)) {
            return p;
        }
    }
    return folder;
}

std::optional<StartupError> make_base_folder(const std::filesystem::path& folder) {
    const auto base = folder / "base";
    // The records stay in the program folder: a link is not followed out of it.
    const int error = make_own_folder(base);
    if (error == 0) return std::nullopt;
    const std::error_code ec(error, std::generic_category());
    std::string text =
        "Не удалось создать папку " + base.string() + ": " + file_error_text(ec.value());
    if (ec.value() == ENOTDIR || ec.value() == EEXIST) {
        text += " (" + blocker_of(base).string() + ")";
    }
    return StartupError{error_number(ec), text};
}

std::optional<StartupError> start_day_file_of(const std::filesystem::path& path,
                                              const std::string& now) {
    const int error = start_day_file(path, now);
    if (error == 0) return std::nullopt;
    const std::error_code why(error, std::generic_category());
    return StartupError{error_number(why),
                        "Не удалось создать файл " + path.string() + ": " + file_error_text(error)};
}

}  // namespace

void Shell::start() {
    FormVars& v = m_.vars;
    v.mode_yes = true;
    v.Ur_progressBar = 1024;
    m_.clear_items(ctl::CmbNet);
    m_.add_item(ctl::CmbNet, "0");
    m_.set_selected(ctl::CmbNet, 0);

    m_.tag_untagged("2");
    m_.set_tab(0);
    m_.set_timer_enabled(ctl::Timer1, true);
    m_.set_enabled(ctl::BTNOpenCom, true);

    // The day file comes last, so a folder that cannot be written still leaves the link usable.
    const std::string now = clock_.now_text();
    std::optional<StartupError> error;
    if (now.size() < 10 || now[2] != '.' || now[5] != '.') {
        error = StartupError{13, "Неверный формат даты: " + now};
    } else if (program_folder_.empty()) {
        error = StartupError{76,
                             "Не найдена домашняя папка пользователя (переменная HOME не "
                             "задана): файлы записей не будут сохраняться."};
    } else {
        const std::string day_name = now.substr(0, 2) + now.substr(3, 2) + now.substr(8, 2);
        error = make_base_folder(program_folder_);
        if (!error) {
            v.day_file = program_folder_ / "base" / (day_name + ".dat");
            error = start_day_file_of(v.day_file, now);
        }
    }
    if (error) {
        dialogs_.message(error->description, Dialogs::Icon::Critical,
                         "Error#" + std::to_string(error->number));
    }
    connection_.advise_at_start();
}

void Shell::request_close() {
    connection_.close_link();
    end_program();
}

void Shell::terminate() {
    if (ended_) return;
    m_.set_timer_enabled(ctl::TMRComm, false);
    connection_.close_link();
    end_program();
}

void Shell::end_program() {
    ended_ = true;
    if (on_end_program) on_end_program();
}

}  // namespace velkon
