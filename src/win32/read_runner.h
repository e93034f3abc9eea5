// The port's side of the exchange tick (read, then write) and its closing flush on a worker
// thread, the result delivered on the window's thread as a posted message, so the window never
// waits for the line.
//
// One worker thread lives as long as the runner and runs the jobs one at a time, in the order
// asked. A finished read is kept under a number and that number is posted to a message-only
// window the runner made on the window's thread; the message runs `done` there, between other
// messages. Destroying the runner waits for a read in progress to end (the driver's ClosePort
// cancels it) and forgets every result not yet delivered, so a message still queued finds
// nothing: make the runner on the window's thread and destroy it there, before the window whose
// handlers its results call.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "seams/seams.h"

namespace velkon::win32 {

class Win32ReadRunner : public ReadRunner {
  public:
    Win32ReadRunner();
    ~Win32ReadRunner() override;
    Win32ReadRunner(const Win32ReadRunner&) = delete;
    Win32ReadRunner& operator=(const Win32ReadRunner&) = delete;

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
    struct Result {
        std::function<void(TickIo)> done;
        TickIo io;
    };
    static LRESULT CALLBACK receiver_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void deliver(std::uint64_t number);
    void push(Job job);
    void run();

    HWND receiver_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    std::map<std::uint64_t, Result> results_;  // finished reads not yet delivered
    std::uint64_t next_result_ = 1;
    bool stopping_ = false;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace velkon::win32
