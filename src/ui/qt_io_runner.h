// The worker port I/O runner woken through Qt's event queue: a finished tick queues a call on the
// window's thread, and that call takes the results from the runner and runs their callbacks
// there, between other events.
//
// Make it on the window's thread (the thread whose event loop delivers) and destroy it there,
// before the window whose handlers its results call. Destroying it waits for a read in progress
// to end (the driver's ClosePort wakes it) and drops every result not yet delivered; a call
// still queued goes with the receiver it was queued for.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "seams/worker_io_runner.h"

class QObject;

namespace velkon {

class QtIoRunner : public PortIoRunner {
  public:
    QtIoRunner();
    ~QtIoRunner() override;
    QtIoRunner(const QtIoRunner&) = delete;
    QtIoRunner& operator=(const QtIoRunner&) = delete;

    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override;
    void flush(SerialPort& port) override;

  private:
    // Declared first, so it is deleted only after the runner's worker has stopped waking it.
    std::unique_ptr<QObject> receiver_;
    WorkerIoRunner runner_;
};

}  // namespace velkon
