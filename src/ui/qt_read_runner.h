// The exchange tick's read (and its closing flush) on a worker thread, its result delivered on the
// window's thread.
//
// One worker thread lives as long as the runner and runs the reads one at a time, in the order
// asked; each result is posted to the thread that made the runner (the window's thread) through
// Qt's event queue, so `done` always runs there, between other events. Destroying the runner
// waits for a read in progress to end (the driver's ClosePort wakes it) and drops every result
// not yet delivered: make the runner on the window's thread and destroy it there, before the
// window whose handlers its results call.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "seams/seams.h"

class QObject;

namespace velkon {

class QtReadRunner : public ReadRunner {
  public:
    QtReadRunner();
    ~QtReadRunner() override;
    QtReadRunner(const QtReadRunner&) = delete;
    QtReadRunner& operator=(const QtReadRunner&) = delete;

    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override;
    void flush(SerialPort& port) override;

  private:
    struct Job {
        SerialPort* port;
        std::string request;
        std::function<bool()> still_current;
        std::function<void(TickIo)> done;  // empty for a flush
    };
    void push(Job job);
    void run();

    // Results are posted to this object; deleting it discards those still queued.
    std::unique_ptr<QObject> receiver_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace velkon
