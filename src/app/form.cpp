#include "app/form.h"

#include <utility>
#include <vector>

namespace velkon {

Form::Form(WindowModel& model, FormSeams seams) : m_(model), s_(std::move(seams)) {}

namespace {

struct ClickRow {
    std::string_view control;
    void (Form::*handler)();
};

// Which handler a click on each control runs.
const std::vector<ClickRow>& click_table() {
    static const std::vector<ClickRow> table = {
        {"BTNOpenCom", &Form::BTNOpenCom_Click},
        {"BTNCloseCom", &Form::BTNCloseCom_Click},
        {"bp_on", &Form::bp_on_Click},
        {"bp_off", &Form::bp_off_Click},
        {"gorizont", &Form::gorizont_Click},
        {"hig", &Form::hig_Click},
        {"low", &Form::low_Click},
        {"Set_mode", &Form::Set_mode_Click},
        {"Chg_pass", &Form::Chg_pass_Click},
        {"Vvod_PWD", &Form::Vvod_PWD_Click},
        {"net", &Form::net_Click},
        {"next_ser_num", &Form::next_ser_num_Click},
        {"InstSN", &Form::InstSN_Click},
        {"Set_BP", &Form::Set_BP_Click},
        {"sdv_hi", &Form::sdv_hi_Click},
        {"sdv_low", &Form::sdv_low_Click},
        {"gen_up", &Form::gen_up_Click},
        {"gen_down", &Form::gen_down_Click},
        {"Opros", &Form::Opros_Click},
        {"readdata", &Form::readdata_Click},
        {"setdata", &Form::setdata_Click},
        {"rd_imei", &Form::rd_imei_Click},
        {"sl3", &Form::sl3_Click},
        {"Command3", &Form::Command3_Click},
        {"Command1", &Form::Command1_Click},
        {"gsmlog", &Form::gsmlog_Click},
        {"Command2", &Form::Command2_Click},
    };
    return table;
}

}  // namespace

bool Form::click(std::string_view control) {
    for (const auto& row : click_table()) {
        if (row.control == control) {
            (this->*row.handler)();
            return true;
        }
    }
    return false;
}

void Form::text_changed(std::string_view control) {
    if (control == "CmbNet") CmbNet_Change();
}

}  // namespace velkon
