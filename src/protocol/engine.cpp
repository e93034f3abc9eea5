// Placeholder: the exchange tick is being written.
#include "app/form.h"

namespace velkon {
void Form::TMRComm_Timer() {}
void Form::finish_tick(std::uint64_t, std::string) {}
void Form::dispatch_answer(const Frame&) {}
std::uint8_t Form::out_win(const Frame&) { return 0; }
}  // namespace velkon
