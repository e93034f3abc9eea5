// The exchange tick's port work (read, then write) and its closing flush on one worker thread,
// the results handed back to the window's thread; the front ends share it and add only their
// way of waking the window.
//
// The worker runs the jobs one at a time, in the order asked. A finished tick's result is kept
// here, under the runner's own lock, and the runner calls `wake` (on the worker, with that lock
// held); the front end must then arrange for deliver_ready() to run on the window's thread: a
// queued call to an object of the window's thread, a message posted to a window. Only that
// wake-up goes through the front end's queue, never the result itself, so the hand-over is
// ordered by this lock alone and a thread checker sees all of it.
//
// Destroying the runner waits for a job in progress to end (the driver's ClosePort wakes a
// waiting read) and drops every result not yet delivered. Make the runner on the window's thread
// and destroy it there, before the window whose handlers its results call; a wake-up still
// queued by then must not reach the runner: the front end's receiver goes with it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "seams/seams.h"

namespace velkon {

class WorkerIoRunner : public PortIoRunner {
  public:
    // `wake` is called on the worker with the runner's lock held: it may only queue the call to
    // deliver_ready(), not call into the runner. It is called once for every finished tick, so a
    // nested event loop inside one `done` still gets the later results; a wake-up that finds
    // them taken does nothing.
    explicit WorkerIoRunner(std::function<void()> wake);
    ~WorkerIoRunner() override;
    WorkerIoRunner(const WorkerIoRunner&) = delete;
    WorkerIoRunner& operator=(const WorkerIoRunner&) = delete;

    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override;
    void flush(SerialPort& port) override;

    // On the window's thread: runs `done` of every finished tick, oldest first, outside the
    // lock. A `done` that runs a nested event loop (a modal box) may deliver the later results
    // from inside it; each is run once, in order of its start.
    void deliver_ready();

  private:
    struct Job {
        SerialPort* port;
        std::string request;
        std::function<bool()> still_current;
        std::function<void(TickIo)> done;  // empty for a flush
    };
    struct Result {
        std::function<void(TickIo)> done;
        TickIo io;
    };
    void push(Job job);
    void run();

    std::function<void()> wake_window_;
    std::mutex mutex_;
    std::condition_variable wake_worker_;
    std::deque<Job> jobs_;
    std::deque<Result> results_;  // finished ticks not yet delivered
    bool stopping_ = false;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace velkon
