// Placeholder: the sensor command set is being written.
#include "app/form.h"

namespace velkon {
void Form::bp_on_Click() {}
void Form::bp_off_Click() {}
void Form::gorizont_Click() {}
void Form::hig_Click() {}
void Form::low_Click() {}
void Form::Set_mode_Click() {}
void Form::Chg_pass_Click() {}
void Form::Vvod_PWD_Click() {}
void Form::net_Click() {}
void Form::next_ser_num_Click() {}
void Form::InstSN_Click() {}
void Form::Set_BP_Click() {}
void Form::sdv_hi_Click() {}
void Form::sdv_low_Click() {}
void Form::gen_up_Click() {}
void Form::gen_down_Click() {}
void Form::Opros_Click() {}
Frame Form::Zapros_ser_num() { return {}; }
}  // namespace velkon
