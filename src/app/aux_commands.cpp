#include <algorithm>

#include "app/form.h"

namespace velkon {

void Form::Command3_Click() {
    setdata_Click();
}

void Form::Command1_Click() {
    vars().wrs = make_frame({0x3E, 0xCA, 0xA5, 0x00, 0x00, 0x00, 0x00, 0x00});
    out_win(vars().wrs);
}

void Form::gsmlog_Click() {
    vars().wrs = make_frame({0x3E, 0xCA, 0xE8});
    out_win(vars().wrs);
}

void Form::Command2_Click() {
    std::string text = s_.dialogs.input("Введите строку", "Замена символа", "");
    std::replace(text.begin(), text.end(), '.', ',');
    s_.dialogs.message(text);
}

void Form::CmbNet_Change() {
    vars().wrs = Zapros_ser_num();
}

}  // namespace velkon
