#include "cli/end_on_signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace velkon::cli {

// Forwards every call to the driver; registered with its EndOnSignals from before the open until
// it is destroyed, so a signal that comes while the port opens still finds it.
class EndOnSignals::WatchedPort final : public SerialPort {
  public:
    WatchedPort(EndOnSignals& owner, std::unique_ptr<SerialPort> port)
        : owner_(owner), port_(std::move(port)) {
        std::lock_guard lock(owner_.mutex_);
        owner_.ports_.push_back(port_.get());
    }
    ~WatchedPort() override {
        {
            std::lock_guard lock(owner_.mutex_);
            std::erase(owner_.ports_, port_.get());
        }
        port_.reset();
    }

    bool OpenPort(const std::string& path, const LineSettings& line) override {
        // After the ports were closed for a signal, a unit not begun is not begun.
        if (owner_.ending_) return false;
        return port_->OpenPort(path, line);
    }
    void ClosePort() override { port_->ClosePort(); }
    void FlushPort() override { port_->FlushPort(); }
    std::string ReadPort() override { return port_->ReadPort(); }
    int WritePort(const std::string& data) override { return port_->WritePort(data); }
    std::size_t DiscardInputBeyond(std::size_t keep) override {
        return port_->DiscardInputBeyond(keep);
    }
    bool is_open() const override { return port_->is_open(); }
    bool hung_up() const override { return port_->hung_up(); }
    const OpenError& last_open_error() const override { return port_->last_open_error(); }

  private:
    EndOnSignals& owner_;
    std::unique_ptr<SerialPort> port_;
};

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

std::unique_ptr<SerialPort> EndOnSignals::watch(std::unique_ptr<SerialPort> port) {
    return std::make_unique<WatchedPort>(*this, std::move(port));
}

void EndOnSignals::settle() {
    int signal = signals_.take();
    {
        std::lock_guard lock(mutex_);
        if (told_) {
            signal = told_;
            hook_ = {};
        }
    }
    if (signal) end_by(signal);
}

void EndOnSignals::on_signal(std::function<void(int)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
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

void EndOnSignals::end_by(int signal) {
    // Held to the end: the main thread cannot destroy the port meanwhile, and a second signal on
    // another thread waits here instead of ending the program halfway.
    mutex_.lock();
    // The first signal lets a command with a hook finish its record; a second one (an impatient
    // Ctrl-C) ends the program at once, as does any signal while no hook is set.
    if (hook_ && !told_) {
        told_ = signal;
        ending_ = true;
        hook_(signal);
        for (SerialPort* port : ports_) port->ClosePort();
        mutex_.unlock();
        return;
    }
    for (SerialPort* port : ports_) port->ClosePort();
    die_of_signal(signal);
}

}  // namespace velkon::cli
