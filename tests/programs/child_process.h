// One of the built programs run as a child process, the way a shell or a desktop would run it:
// its own environment, standard streams, a file-size limit, signals blocked from its start.
// Never sleeps: waiting for the child's end is a poll() on its pidfd with a deadline.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkon::test {

struct Launch {
    std::vector<std::string> args{};  // args[0]: the program's path
    std::vector<std::string> env{};   // "NAME=value", over the test's own environment
    std::optional<rlim_t> file_size_limit{};
    // Starts the program with SIGINT, SIGTERM, SIGHUP and SIGPIPE blocked, so one sent at once
    // waits until the program takes them over, whatever it is doing by then.
    bool end_signals_blocked = false;
    int out_fd = -1;  // the child's standard output; -1: /dev/null
    int err_fd = -1;  // its error output; -1: /dev/null
};

class ChildProcess {
  public:
    explicit ChildProcess(const Launch& launch);
    ~ChildProcess();  // a child still running is killed
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    bool send(int signal) const;
    // The wait status once the child has ended, or nothing after `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::optional<int> status_;
};

// "exit status 1", "killed by signal 25 (File size limit exceeded)".
std::string describe_wait_status(int status);

// The path of a built program; the build passes them in.
std::string program_path(const char* name);

// Every executable file called `name` in the folders of $PATH, in their order.
std::vector<std::filesystem::path> find_on_path(const std::string& name);

}  // namespace velkon::test
