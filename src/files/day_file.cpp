#include "files/day_file.h"

#include "files/file_error.h"
#include "files/file_write.h"
#include "protocol/cp1251.h"

namespace velkon {

namespace {

bool breaks_line(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

DayFile::Binding DayFile::append_binding(const std::string& serial, const std::string& sim,
                                         const std::string& imei) {
    const struct {
        const char* name;
        const std::string& value;
    } fields[] = {{"Серийный номер", serial}, {"Номер SIM-карты", sim}, {"IMEI", imei}};
    for (const auto& field : fields) {
        if (breaks_line(field.value) || field.value.find(';') != std::string::npos) {
            dialogs_.message(std::string(field.name) +
                                 " не может содержать перевод строки или знак «;»: в файле записей "
                                 "они разделяют записи и поля. Запись не сохранена.",
                             Dialogs::Icon::Exclamation);
            return Binding::Refused;
        }
    }
    return append_record(serial + ";" + sim + ";" + imei) ? Binding::Written : Binding::NotWritten;
}

bool DayFile::append_record(const std::string& line) {
    if (breaks_line(line)) {
        dialogs_.message(
            "Запись не сохранена: в ней есть перевод строки, а в файле записей каждая "
            "запись занимает одну строку.",
            Dialogs::Icon::Exclamation);
        return false;
    }
    if (vars_.day_file.empty()) {
        dialogs_.message("Файл записей не был создан при запуске программы. Запись \"" + line +
                         "\" не сохранена.");
        return false;
    }
    const auto bytes = utf8_to_cp1251(line);
    if (!bytes) {
        dialogs_.message("Запись \"" + line +
                         "\" содержит символы, которые нельзя сохранить в файле записей. "
                         "Запись не сохранена.");
        return false;
    }
    const int error = append_whole(vars_.day_file, *bytes + "\r\n");
    if (error == 0) return true;
    dialogs_.message("Не удалось дописать файл записей " + path_text(vars_.day_file) + ": " +
                     file_error_text(error) + ". Запись \"" + line + "\" не сохранена.");
    return false;
}

}  // namespace velkon
