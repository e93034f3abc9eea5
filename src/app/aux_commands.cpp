// Placeholder: the auxiliary commands are being written.
#include "app/form.h"

namespace velkon {
void Form::Command3_Click() {}
void Form::Command1_Click() {}
void Form::gsmlog_Click() {}
void Form::Command2_Click() {}
void Form::CmbNet_Change() {}
}  // namespace velkon
