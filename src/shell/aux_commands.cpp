#include <algorithm>

#include "protocol/codes.h"
#include "shell/shell.h"

namespace velkon {

void Shell::request_a5() {
    outbox_.put_and_echo(
        make_frame({kAnswerPrefix, kUnitAddress, code::kCommandA5, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

void Shell::request_gsm_log() {
    outbox_.put_and_echo(make_frame({kAnswerPrefix, kUnitAddress, code::kModemLog}));
}

void Shell::replace_points() {
    std::string text = dialogs_.input("Введите строку", "Замена символа", "");
    std::replace(text.begin(), text.end(), '.', ',');
    dialogs_.message(text);
}

}  // namespace velkon
