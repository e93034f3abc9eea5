#include "seams/worker_io_runner.h"

#include <utility>

#include "serial/serial_port.h"

namespace velkon {

WorkerIoRunner::WorkerIoRunner(std::function<void()> wake)
    : wake_window_(std::move(wake)), worker_([this] { run(); }) {}

WorkerIoRunner::~WorkerIoRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_worker_.notify_one();
    worker_.join();
    // Undelivered results go here, on the window's thread, with what their callbacks hold.
    results_.clear();
}

void WorkerIoRunner::exchange(SerialPort& port, std::string request,
                                std::function<bool()> still_current,
                                std::function<void(TickIo)> done) {
    push(Job{&port, std::move(request), std::move(still_current), std::move(done)});
}

void WorkerIoRunner::flush(SerialPort& port) {
    push(Job{&port, {}, {}, {}});
}

void WorkerIoRunner::push(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_worker_.notify_one();
}

void WorkerIoRunner::deliver_ready() {
    // One at a time: a callback that spins a nested event loop leaves the rest queued here for
    // that loop's own delivery, so none runs twice or ahead of an older one.
    for (;;) {
        Result result;
        {
            std::lock_guard lock(mutex_);
            if (results_.empty()) return;
            result = std::move(results_.front());
            results_.pop_front();
        }
        result.done(std::move(result.io));
    }
}

void WorkerIoRunner::run() {
    for (;;) {
        Job job{};
        {
            std::unique_lock lock(mutex_);
            wake_worker_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        if (!job.done) {
            job.port->FlushPort();
            continue;
        }
        TickIo io = exchange_now(*job.port, job.request, job.still_current);
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        results_.push_back(Result{std::move(job.done), std::move(io)});
        // Under the lock: whatever the wake-up allocates on its way to the window's thread is
        // then ordered before deliver_ready() takes the lock there.
        wake_window_();
    }
}

}  // namespace velkon
