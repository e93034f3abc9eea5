// velkon-cli's end by a signal (Ctrl-C, kill, a closed terminal, a closed pipe such as
// `velkon-cli readings ... | head -n1`): the port it holds is closed, which gives the line back
// its earlier settings and drops the exclusive hold, and then the program ends the way the signal
// would have ended it (status 128 + N in a shell).
//
// The handlers only write into a pipe (base/end_signals.h); a thread of this class waits on it and
// does the closing, so the work happens whatever the main thread is waiting on (a read of the
// port, the pause between two readings). A command that has set a hook (a fleet, for its report)
// is told of the signal instead, and the program ends by it when the command is done.
//
// On Windows the console's events stand for the signals (end_on_signals_win32.cpp): Ctrl+C and
// Ctrl+Break for SIGINT (status 130), a closed console window, a logoff and a shutdown for SIGHUP
// (status 129). The system calls the handler on a thread of its own, which does the closing.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cli/cli_tool.h"
#include "serial/serial_port.h"

#ifndef _WIN32
#include "base/end_signals.h"
#include "base/unique_fd.h"
#endif

namespace velkon::cli {

#ifdef _WIN32
// The signal a console event stands for (SIGINT or SIGHUP by its POSIX number), 0 for an event
// that does not end the program.
int signal_of_console_event(unsigned long event);
#endif

class EndOnSignals final : public SignalNotice {
  public:
    // Also makes a file-size limit an error rather than a kill.
    EndOnSignals();
    // Settles (see below) and stops the thread.
    ~EndOnSignals() override;
    EndOnSignals(const EndOnSignals&) = delete;
    EndOnSignals& operator=(const EndOnSignals&) = delete;

    // `port`, closed by a signal for as long as it lives.
    std::unique_ptr<SerialPort> watch(std::unique_ptr<SerialPort> port);

    // A signal that has already come ends the program now, so a closed pipe the last output
    // ran into ends it by SIGPIPE rather than by a message about the output; so does one a
    // hook was told of.
    void settle();

    void on_signal(std::function<void(int)> hook) override;

  private:
    class WatchedPort;
    // The platform's part (end_on_signals_posix.cpp, end_on_signals_win32.cpp): a signal that
    // came and was not acted on yet (0: none), and the end by a signal.
    int take_pending();
    [[noreturn]] static void die_of(int signal);
    void end_by(int signal);

#ifdef _WIN32
    // The console's handler: the system calls it on a thread of its own.
    static int __stdcall on_console_event(unsigned long event);
#else
    void run();
#endif

    std::mutex mutex_;
    std::vector<SerialPort*> ports_;   // guarded by mutex_: every port open now (a fleet has many)
    std::function<void(int)> hook_;    // guarded by mutex_
    int told_ = 0;                     // guarded by mutex_: the signal the hook was told of
    std::atomic<bool> ending_{false};  // a port opened from now on would be closed at once
#ifndef _WIN32
    EndSignalPipe signals_;
    UniqueFd stop_;  // eventfd: the thread ends
    std::thread thread_;
#endif
};

}  // namespace velkon::cli
