#include "ui/qt_read_runner.h"

#include <QMetaObject>
#include <QObject>

#include "serial/serial_port.h"

namespace velkon {

QtReadRunner::QtReadRunner() : receiver_(std::make_unique<QObject>()), worker_([this] { run(); }) {}

QtReadRunner::~QtReadRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    worker_.join();
    // Results posted but not yet delivered go with their receiver.
    receiver_.reset();
}

void QtReadRunner::exchange(SerialPort& port, std::string request,
                            std::function<bool()> still_current, std::function<void(TickIo)> done) {
    push(Job{&port, std::move(request), std::move(still_current), std::move(done)});
}

void QtReadRunner::flush(SerialPort& port) {
    push(Job{&port, {}, {}, {}});
}

void QtReadRunner::push(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void QtReadRunner::run() {
    for (;;) {
        Job job{};
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
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
        // Posted while the lock is held, so the destructor cannot delete the receiver between
        // the check above and the post.
        QMetaObject::invokeMethod(
            receiver_.get(), [done = std::move(job.done), io = std::move(io)] { done(io); },
            Qt::QueuedConnection);
    }
}

}  // namespace velkon
