// What the ports and the hook go through on every system; how the signals come and how the
// program ends by one are the platform's (end_on_signals_posix.cpp, end_on_signals_win32.cpp).
#include "cli/end_on_signals.h"

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

std::unique_ptr<SerialPort> EndOnSignals::watch(std::unique_ptr<SerialPort> port) {
    return std::make_unique<WatchedPort>(*this, std::move(port));
}

void EndOnSignals::settle() {
    int signal = take_pending();
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
    die_of(signal);
}

}  // namespace velkon::cli
