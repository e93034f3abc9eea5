#include "base/end_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace velkon {

namespace {

// The write end of the one live EndSignalPipe, for the handler.
std::atomic<int> g_signal_write_fd{-1};

void on_end_signal(int signal) {
    const int saved_errno = errno;  // the interrupted code may be about to read errno
    const int fd = g_signal_write_fd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved_errno;
}

}  // namespace

void ignore_file_size_signal() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

EndSignalPipe::EndSignalPipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_.reset(fds[0]);
    write_.reset(fds[1]);
    g_signal_write_fd = write_.get();

    struct sigaction action {};
    action.sa_handler = on_end_signal;
    sigfillset(&action.sa_mask);  // one handler at a time keeps the bytes whole
    action.sa_flags = SA_RESTART;
    sigset_t unblock;
    sigemptyset(&unblock);
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        const int signal = kEndSignals[i];
        struct sigaction earlier {};
        if (::sigaction(signal, nullptr, &earlier) != 0) continue;
        // nohup means it for SIGHUP, and a parent that ignores SIGPIPE wants EPIPE instead. An
        // ignored SIGINT is only a shell's way of starting a background job: kill -INT still
        // means it.
        if (earlier.sa_handler == SIG_IGN && (signal == SIGHUP || signal == SIGPIPE)) continue;
        if (::sigaction(signal, &action, &earlier_[i]) != 0) continue;
        routed_[i] = true;
        sigaddset(&unblock, signal);
    }
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
}

EndSignalPipe::~EndSignalPipe() {
    for (std::size_t i = 0; i < kEndSignals.size(); ++i) {
        if (routed_[i]) ::sigaction(kEndSignals[i], &earlier_[i], nullptr);
    }
    g_signal_write_fd = -1;
}

int EndSignalPipe::take() {
    unsigned char byte = 0;
    for (;;) {
        const ssize_t n = ::read(read_.get(), &byte, 1);
        if (n == 1) return byte;
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

void die_of_signal(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    // Only reached when the signal could not end the process (it does not, by default).
    ::_exit(128 + signal);
}

}  // namespace velkon
