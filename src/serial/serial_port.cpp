// The platform-independent part of the serial driver: what a failed open means to the user.
#include "serial/serial_port.h"

namespace velkon {

namespace {

// Joining the device's group is the usual cure; a device only root may use needs the
// administrator instead (joining the root group would be the wrong advice).
std::string permission_text(const OpenError& error, const std::string& path) {
    const std::string denied = "Нет прав на доступ к " + path + ".";
    if (error.device_group == "root") {
        return denied + " Устройство доступно только администратору.";
    }
    const std::string group = error.device_group.empty() ? "dialout" : error.device_group;
    return denied + " Добавьте пользователя в группу " + group + " командой sudo usermod -aG " +
           group + " $USER и войдите в систему заново.";
}

}  // namespace

std::string line_settings_text(const LineSettings& line) {
    return std::to_string(line.baud) + ',' + static_cast<char>(line.parity) + ',' +
           std::to_string(line.data_bits) + ',' + std::to_string(line.stop_bits);
}

std::string describe_open_error(const OpenError& error, const std::string& path) {
    switch (error.failure) {
        case OpenFailure::None:
            return "";
        case OpenFailure::NoSuchDevice:
            return "Устройство не найдено.";
        case OpenFailure::PermissionDenied:
            return permission_text(error, path);
        case OpenFailure::Busy:
            return "Порт занят другой программой.";
        case OpenFailure::NotSerial:
            return "Это не последовательный порт.";
        case OpenFailure::Configuration:
            return error.config_message;
        case OpenFailure::Other:
            return "Системная ошибка " + std::to_string(error.error_code) + ".";
    }
    return "";
}

}  // namespace velkon
