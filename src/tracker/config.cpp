// Placeholder: the configuration record is being written.
#include "app/form.h"

namespace velkon {
void Form::readdata_Click() {}
void Form::setdata_Click() {}
void Form::config_to_form(const Frame&) {}
Frame Form::add_addr(const std::string&) { return Frame(1, '\xFC'); }
void Form::live_to_form(const Frame&) {}
void Form::rd_imei_Click() {}
void Form::imei_to_form(const Frame&) {}
void Form::sl3_Click() {}
}  // namespace velkon
