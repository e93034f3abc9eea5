// How a POSIX program of ours meets the signals that end it from outside (Ctrl-C, kill, a closed
// terminal, a closed pipe) and a file-size limit.
//
// A signal's default action would end the program at once, leaving the serial line raw and
// held exclusively. Instead each of them writes its number into a pipe; the program reads it
// where it is safe to do its cleanup (an event loop, a thread of its own), then ends the way the
// signal would have ended it (die_of_signal), so its parent sees the usual status (128 + N in a
// shell). SIGHUP or SIGPIPE ignored when the program started (nohup, a parent that wants EPIPE)
// stays ignored.
#pragma once

#include <array>
#include <csignal>

#include "base/unique_fd.h"

namespace velkon {

inline constexpr std::array<int, 4> kEndSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// A file-size limit (ulimit -f) then makes a write fail with EFBIG, which the whole-or-nothing
// file paths handle, instead of killing the program halfway through a file.
void ignore_file_size_signal();

// Routes kEndSignals into a pipe for as long as it lives, and unblocks them (a parent may have
// started the program with them blocked). One at a time in a program.
class EndSignalPipe {
  public:
    EndSignalPipe();
    ~EndSignalPipe();
    EndSignalPipe(const EndSignalPipe&) = delete;
    EndSignalPipe& operator=(const EndSignalPipe&) = delete;

    // False when the pipe could not be made: the signals then keep their default action.
    bool ok() const { return static_cast<bool>(read_); }
    // Readable once a signal came (non-blocking).
    int fd() const { return read_.get(); }
    // The number of a signal that came, or 0 when none is waiting.
    int take();

  private:
    UniqueFd read_;
    UniqueFd write_;
    std::array<struct sigaction, kEndSignals.size()> earlier_{};
    std::array<bool, kEndSignals.size()> routed_{};
};

// Ends the process by `signal` with its default action, after the program's own cleanup.
[[noreturn]] void die_of_signal(int signal);

}  // namespace velkon
