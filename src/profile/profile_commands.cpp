#include "profile/profile_commands.h"

#include <utility>

#include "files/file_error.h"
#include "files/file_write.h"
#include "profile/profile.h"

namespace velkon {

namespace {

constexpr const char* kSuggestedName = "профиль.json";

const std::vector<Dialogs::FileFilter>& save_filters() {
    static const std::vector<Dialogs::FileFilter> filters = {{"Профили", "*.json"}};
    return filters;
}

const std::vector<Dialogs::FileFilter>& open_filters() {
    static const std::vector<Dialogs::FileFilter> filters = {
        {"Профили и копии конфигурации", "*.json *.cfg"},
        {"Профили", "*.json"},
        {"Копии конфигурации", "*.cfg"},
        {"Все файлы", "*"},
    };
    return filters;
}

std::string in_quotes(const std::filesystem::path& path) {
    return "«" + path_text(path) + "»";
}

}  // namespace

ProfileCommands::ProfileCommands(WindowModel& model, Dialogs& dialogs, Tracker& tracker,
                                 std::filesystem::path program_folder)
    : m_(model), dialogs_(dialogs), tracker_(tracker), program_folder_(std::move(program_folder)) {}

bool ProfileCommands::own_folder_ready() {
    // The box must not start in a folder a link planted in the program folder points to.
    const int error = make_own_folder(folder());
    if (error == 0) return true;
    dialogs_.message(
        "Папка профилей " + in_quotes(folder()) + " недоступна: " + file_error_text(error) + ".",
        Dialogs::Icon::Exclamation);
    return false;
}

void ProfileCommands::save() {
    TrackerConfig config = tracker_.configuration_from_window();
    // What the unit reported with the last read goes along, for information only.
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) config.values[i] = m_.text(layout[i].control);
    }
    if (const std::string refusal = check_values(config); !refusal.empty()) {
        dialogs_.message("Профиль не сохранён. " + refusal, Dialogs::Icon::Exclamation);
        return;
    }
    const std::string text = profile_text(config);
    if (!own_folder_ready()) return;  // without the folder the box would start elsewhere
    std::filesystem::path path = dialogs_.save_file(
        "Сохранить профиль", folder() / path_from_utf8(kSuggestedName), save_filters());
    if (path.empty()) return;
    if (!path.has_extension()) path += ".json";
    if (const int error = write_output_file(path, text)) {
        dialogs_.message("Не удалось сохранить профиль в файл " + in_quotes(path) + ": " +
                             file_error_text(error) + ".",
                         Dialogs::Icon::Exclamation);
        return;
    }
    m_.set_text(ctl::MsgCom, "Профиль сохранён");
}

void ProfileCommands::load() {
    if (!own_folder_ready()) return;
    const std::filesystem::path path =
        dialogs_.open_file("Загрузить профиль", folder(), open_filters());
    if (path.empty()) return;
    LoadedProfile loaded = load_profile_file(path);
    if (!loaded) {
        dialogs_.message(loaded.error + "\nПоля остались без изменений.",
                         Dialogs::Icon::Exclamation);
        return;
    }
    // The version and serial number belong to the unit the window shows, not to the profile.
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) loaded.config->values[i].reset();
    }
    tracker_.fill_from_profile(*loaded.config);
    m_.set_text(ctl::MsgCom, "Профиль загружен");
}

}  // namespace velkon
