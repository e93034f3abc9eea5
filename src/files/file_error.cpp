#include "files/file_error.h"

#include <cerrno>

namespace velkon {

std::string file_error_text(int error) {
    static const struct {
        int error;
        const char* text;
    } kReasons[] = {
        {EACCES, "нет прав на запись"},
        {EPERM, "нет прав на запись"},
        {EROFS, "диск доступен только для чтения"},
        {ENOSPC, "на диске нет места"},
#ifdef EDQUOT  // no disk quotas on Windows
        {EDQUOT, "на диске нет места"},
#endif
        {EFBIG, "превышен допустимый размер файла"},
        {EPIPE, "читающая сторона канала закрыта"},
        {EISDIR, "на месте файла находится папка"},
        {ENOTDIR, "на месте папки находится файл"},
        {EEXIST, "на месте папки находится файл"},
        {ENOENT, "папка не найдена"},
        {ENAMETOOLONG, "слишком длинный путь"},
        {ELOOP, "путь ведёт по ссылке за пределы папки программы"},
        {EIO, "ошибка ввода-вывода"},
        {EMFILE, "открыто слишком много файлов"},
        {ENFILE, "открыто слишком много файлов"},
        {EINVAL, "недопустимое имя файла или папки"},
        {EFBIG, "файл превысил допустимый размер"},
        {EBUSY, "файл открыт другой программой"},
        {ETXTBSY, "файл открыт другой программой"},
        {EXDEV, "файл нельзя перенести на другой диск"},
        {ENXIO, "устройство не найдено"},
        {ENODEV, "устройство не найдено"},
        {EAGAIN, "ресурс временно недоступен"},
        {EINTR, "операция прервана"},
        {ENOMEM, "не хватает памяти"},
        {EBADF, "файл закрыт"},
    };
    for (const auto& r : kReasons) {
        if (r.error == error) return r.text;
    }
    // The system's own wording would be English; the number lets support look it up.
    return "непредвиденная ошибка системы (код " + std::to_string(error) + ")";
}

}  // namespace velkon

namespace velkon {

std::string path_text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace velkon
