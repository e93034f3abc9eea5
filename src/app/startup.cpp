// Placeholder: start-up, shutdown and the day file are being written.
#include "app/form.h"

namespace velkon {
void Form::Form_Load() {}
void Form::Form_QueryUnload() {}
void Form::Form_Terminate() {}
bool Form::append_day_record(const std::string&) { return false; }
}  // namespace velkon
