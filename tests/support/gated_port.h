// A port whose reads wait until the test lets them return, and that records every operation with
// the thread it ran on: for the worker read runner and its front ends' adapters.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/serial_port.h"

namespace velkon::testing {

class GatedPort : public SerialPort {
  public:
    struct Op {
        std::string what;
        std::thread::id thread;
    };

    // Reads return at once with "x" unless gated; a gated read waits for release() or
    // ClosePort(), as the driver's read waits for the line and is woken by a close.
    explicit GatedPort(bool gated = true) : gated_(gated) {}

    void release(std::string text) {
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(text));
        }
        changed_.notify_all();
    }
    // Waits until `count` reads have started; false after ten seconds (a hang, not a timing).
    bool wait_reads_started(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return reads_started_ >= count; });
    }
    std::vector<Op> ops() {
        std::lock_guard lock(mutex_);
        return ops_;
    }

    bool OpenPort(const std::string&, const LineSettings&) override { return true; }
    void ClosePort() override {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }
    void FlushPort() override { record("flush"); }
    std::string ReadPort() override {
        std::unique_lock lock(mutex_);
        ops_.push_back({"read", std::this_thread::get_id()});
        ++reads_started_;
        changed_.notify_all();
        if (!gated_) return "x";
        changed_.wait(lock, [this] { return closed_ || !pending_.empty(); });
        if (pending_.empty()) return {};
        std::string text = std::move(pending_.front());
        pending_.pop_front();
        return text;
    }
    int WritePort(const std::string& data) override {
        record("write " + data);
        return static_cast<int>(data.size());
    }
    bool is_open() const override { return true; }
    bool hung_up() const override { return false; }
    const OpenError& last_open_error() const override { return error_; }

  private:
    void record(std::string what) {
        std::lock_guard lock(mutex_);
        ops_.push_back({std::move(what), std::this_thread::get_id()});
    }

    const bool gated_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> pending_;
    std::vector<Op> ops_;
    int reads_started_ = 0;
    bool closed_ = false;
    OpenError error_;
};

}  // namespace velkon::testing
