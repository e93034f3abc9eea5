// The POSIX part of EndOnSignals: the signals come through a pipe (base/end_signals.h) that a
// thread of this class waits on.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

#include "cli/end_on_signals.h"

namespace velkon::cli {

static_assert(kSignalHangUp == SIGHUP && kSignalInterrupt == SIGINT && kSignalPipe == SIGPIPE &&
              kSignalTerminate == SIGTERM);

EndOnSignals::EndOnSignals() : stop_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    ignore_file_size_signal();
    if (!signals_.ok() || !stop_) return;
    // The handlers run on the main thread (or any other), never on this one: its poll() must not
    // be the call a signal interrupts.
    sigset_t all, earlier;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &earlier);
    thread_ = std::thread([this] { run(); });
    ::pthread_sigmask(SIG_SETMASK, &earlier, nullptr);
}

EndOnSignals::~EndOnSignals() {
    settle();
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_.get(), &one, sizeof one);
    thread_.join();
}

void EndOnSignals::run() {
    for (;;) {
        pollfd fds[2] = {{signals_.fd(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        // A signal is looked at first: one that came with the stop still ends the program.
        if (fds[0].revents & POLLIN) {
            if (const int signal = signals_.take()) end_by(signal);
            continue;
        }
        if (fds[1].revents & POLLIN) return;
    }
}

int EndOnSignals::take_pending() {
    return signals_.take();
}

void EndOnSignals::die_of(int signal) {
    die_of_signal(signal);
}

}  // namespace velkon::cli
