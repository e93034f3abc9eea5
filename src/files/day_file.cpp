#include "files/day_file.h"

#include "files/file_error.h"
#include "files/file_write.h"
#include "protocol/cp1251.h"

namespace velkon {

bool DayFile::append_record(const std::string& line) {
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
    dialogs_.message("Не удалось дописать файл записей " + vars_.day_file.string() + ": " +
                     file_error_text(error) + ". Запись \"" + line + "\" не сохранена.");
    return false;
}

}  // namespace velkon
