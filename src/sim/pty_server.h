// The simulated devices on a pseudo-terminal: the configurator (or a test) opens slave_path()
// as its serial port, and a thread of this server answers every request frame through the
// master side.
//
//     PtyServer server;                 // default devices, no faults
//     if (!server.start()) { ... server.error() ... }
//     open(server.slave_path().c_str(), ...);
//     server.set_faults({.silent = true});
//     server.stop();                    // or let the destructor do it
//
// The server keeps a descriptor of the slave open itself, so the line stays up (and its
// settings stay put) between the client's opens. stop() and a hang-up fault close the master:
// the client then sees POLLHUP and its reads fail, as with an unplugged adapter.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "base/unique_fd.h"
#include "sim/device.h"
#include "sim/request_framer.h"

namespace velkon::sim {

struct ServerOptions {
    // Silence on the line that gives up an incomplete request.
    std::chrono::milliseconds request_gap{10};
    // Simulated time that passes with every request (the configurator sends one per 500 ms tick),
    // so the tank empties by request count and runs are reproducible.
    std::chrono::milliseconds time_per_request{500};
    // Receives one line per request, answer and rejected run of bytes, in hexadecimal. Called on
    // the server thread.
    std::function<void(const std::string&)> log;
};

class PtyServer {
  public:
    explicit PtyServer(Device device = Device{}, ServerOptions options = {});
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens the pseudo-terminal (raw, 19200 8N1) and starts answering. On failure returns false
    // and error() says why. Starting a running server does nothing; after a hang-up it opens a
    // new pseudo-terminal (a new slave_path()), as if the adapter were plugged in again.
    bool start();
    // Stops answering and closes the pseudo-terminal. Safe to call more than once.
    void stop();

    const std::string& slave_path() const { return slave_path_; }
    const std::string& error() const { return error_; }

    // Thread-safe access to the devices while the server runs.
    void set_faults(const Faults& faults);
    Faults faults() const;
    Device device() const;  // a copy of the whole state
    template <class F>
    auto with_device(F&& f) {
        std::lock_guard lock(mutex_);
        return f(device_);
    }

    // Queues bytes to leave the device side whatever the client asks (a babbling device, a
    // flood of noise). They go out as fast as the line takes them, between the answers.
    void send_raw(std::string_view bytes);
    // Queued bytes not yet on the line.
    std::size_t raw_pending() const;
    // Forgets the queued bytes that have not left yet.
    void drop_raw();

    // Requests handled so far; a request counts once its answer (if any) has been written.
    std::uint64_t requests() const;
    // Waits until `count` requests have been handled or the line is gone; false on time-out.
    bool wait_requests(std::uint64_t count, std::chrono::milliseconds timeout) const;
    // True once a hang-up fault has closed the line.
    bool hung_up() const { return hung_up_; }

  private:
    void run();
    bool handle(const RequestFramer::Piece& piece);
    bool write_raw_chunk();
    bool write_reply(const Reply& reply);
    bool write_all(std::string_view bytes);
    bool write_paced(std::string_view bytes);
    bool pause_until(std::chrono::steady_clock::time_point deadline);
    void hang_up();
    void log(const std::string& line) const;
    bool fail(const std::string& what);

    ServerOptions options_;
    mutable std::mutex mutex_;  // guards device_ and handled_
    mutable std::condition_variable handled_changed_;
    Device device_;
    std::uint64_t handled_ = 0;
    std::string raw_;           // guarded by mutex_: bytes queued by send_raw()
    std::size_t raw_sent_ = 0;  // guarded by mutex_: how many of them have left
    std::atomic<bool> hung_up_{false};

    UniqueFd master_;
    UniqueFd slave_;  // our own descriptor of the slave side
    UniqueFd wake_read_;
    UniqueFd wake_write_;
    UniqueFd raw_wake_read_;  // a byte here: send_raw() queued bytes
    UniqueFd raw_wake_write_;
    std::string slave_path_;
    std::string error_;
    RequestFramer framer_;
    std::thread worker_;
};

}  // namespace velkon::sim
