// Placeholder: the port scan, open and close are being written.
#include "app/form.h"

namespace velkon {
void Form::Timer1_Timer() {}
void Form::BTNOpenCom_Click() {}
void Form::BTNCloseCom_Click() {}
}  // namespace velkon
