// Placeholder: the sensor answers are being written.
#include "app/form.h"

namespace velkon {
void Form::all_data_to_form(const Frame&) {}
void Form::assept_sn(const Frame&) {}
void Form::Out_modes(std::uint8_t) {}
}  // namespace velkon
