// The Windows part of EndOnSignals: the console's events stand for the signals. The system calls
// the handler on a thread it makes for the event, so the closing is done right there, whatever
// the main thread is waiting on.
//
// Ctrl+C and Ctrl+Break may be handled and the program goes on: with a hook set it ends once the
// command is done. A closed console window, a logoff and a shutdown end the process as soon as
// the handler returns (or after a few seconds, if it does not): with a hook set the handler keeps
// the process alive for the command to finish its record, and the main thread ends it.
#include <windows.h>

#include "cli/cli_tool.h"
#include "cli/end_on_signals.h"

namespace velkon::cli {

namespace {

// The handler has no context argument: the one EndOnSignals of the program.
EndOnSignals* g_handling = nullptr;

struct ConsoleEvent {
    DWORD event;
    int signal;
};

constexpr ConsoleEvent kConsoleEvents[] = {
    {CTRL_C_EVENT, kSignalInterrupt},     {CTRL_BREAK_EVENT, kSignalInterrupt},
    {CTRL_CLOSE_EVENT, kSignalHangUp},    {CTRL_LOGOFF_EVENT, kSignalHangUp},
    {CTRL_SHUTDOWN_EVENT, kSignalHangUp},
};

}  // namespace

int signal_of_console_event(unsigned long event) {
    for (const ConsoleEvent& e : kConsoleEvents) {
        if (e.event == event) return e.signal;
    }
    return 0;
}

EndOnSignals::EndOnSignals() {
    g_handling = this;
    SetConsoleCtrlHandler(&EndOnSignals::on_console_event, TRUE);
}

EndOnSignals::~EndOnSignals() {
    settle();
    SetConsoleCtrlHandler(&EndOnSignals::on_console_event, FALSE);
    g_handling = nullptr;
}

int __stdcall EndOnSignals::on_console_event(unsigned long event) {
    const int signal = signal_of_console_event(event);
    if (!signal || !g_handling) return FALSE;
    g_handling->end_by(signal);
    // Told to a hook: the command finishes and the main thread ends the program. An interrupt
    // lets the process go on meanwhile; the other events would end it once this returns.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(INFINITE);
    return TRUE;
}

// Every signal has come through the handler already, which acted on it there.
int EndOnSignals::take_pending() {
    return 0;
}

// As a signal ends a POSIX process: at once, with no buffer flushed and no destructor run, and
// with the status a shell shows for the signal.
void EndOnSignals::die_of(int signal) {
    const UINT status = 128 + static_cast<UINT>(signal);
    TerminateProcess(GetCurrentProcess(), status);
    ExitProcess(status);
}

}  // namespace velkon::cli
