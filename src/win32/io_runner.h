// The worker port I/O runner woken through the window's message queue: a finished tick posts a
// message to a message-only window of the window's thread, and that message takes the results
// from the runner and runs their callbacks there, between other messages.
//
// Make it on the window's thread (the thread whose message loop delivers) and destroy it there,
// before the window whose handlers its results call. Destroying it waits for a read in progress
// to end (the driver's ClosePort cancels it) and drops every result not yet delivered; a message
// still queued finds the receiver gone.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "seams/worker_io_runner.h"

namespace velkon::win32 {

class Win32IoRunner : public PortIoRunner {
  public:
    Win32IoRunner();
    ~Win32IoRunner() override;
    Win32IoRunner(const Win32IoRunner&) = delete;
    Win32IoRunner& operator=(const Win32IoRunner&) = delete;

    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override;
    void flush(SerialPort& port) override;

  private:
    // The message-only window the wake-ups are posted to; destroyed after the runner's worker
    // has stopped, so no wake-up is posted to a window that is gone.
    class Receiver {
      public:
        Receiver();
        ~Receiver();
        Receiver(const Receiver&) = delete;
        Receiver& operator=(const Receiver&) = delete;
        HWND hwnd() const { return hwnd_; }
        // Where the wake-ups go; set once the runner exists, before it is given any job.
        void deliver_to(WorkerIoRunner& runner);

      private:
        static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
        HWND hwnd_ = nullptr;
    };

    Receiver receiver_;  // first: outlives the runner
    WorkerIoRunner runner_;
};

}  // namespace velkon::win32
