#include "programs/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

extern char** environ;

namespace velkon::test {

namespace {

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

ChildProcess::ChildProcess(const Launch& launch) {
    // Everything the child needs is made before fork(): after it only async-signal-safe calls.
    std::vector<std::string> args = launch.args;
    std::vector<std::string> env;
    std::map<std::string, std::string> overrides;
    for (const std::string& e : launch.env) overrides[e.substr(0, e.find('='))] = e;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!overrides.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
    }
    for (const auto& [name, entry] : overrides) env.push_back(entry);
    std::vector<char*> argv = pointers(args), envp = pointers(env);
    sigset_t blocked;
    sigemptyset(&blocked);
    if (launch.end_signals_blocked) {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&blocked, s);
    }
    const int null_fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int out_fd = launch.out_fd >= 0 ? launch.out_fd : null_fd;
    const int err_fd = launch.err_fd >= 0 ? launch.err_fd : null_fd;

    // A signal sent right after fork() must find the child's mask already in place: the child
    // inherits the thread's mask, so it is set here around the fork.
    sigset_t earlier;
    if (launch.end_signals_blocked) ::pthread_sigmask(SIG_BLOCK, &blocked, &earlier);
    pid_ = ::fork();
    if (pid_ != 0 && launch.end_signals_blocked) ::pthread_sigmask(SIG_SETMASK, &earlier, nullptr);
    if (pid_ == 0) {
        ::dup2(null_fd, STDIN_FILENO);
        ::dup2(out_fd, STDOUT_FILENO);
        ::dup2(err_fd, STDERR_FILENO);
        // The test program's own dispositions and mask are not the program's business.
        for (int s = 1; s < NSIG; ++s) ::signal(s, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &blocked, nullptr);
        if (launch.file_size_limit) {
            const rlimit limit{*launch.file_size_limit, *launch.file_size_limit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(null_fd);
    if (pid_ > 0) pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (pidfd_ >= 0) ::close(pidfd_);
}

bool ChildProcess::send(int signal) const {
    return pid_ > 0 && !status_ && ::kill(pid_, signal) == 0;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_ || pid_ <= 0) return status_;
    pollfd fd{pidfd_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&fd, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    status_ = status;
    return status_;
}

std::string describe_wait_status(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
               ::strsignal(WTERMSIG(status)) + ")";
    }
    return "wait status " + std::to_string(status);
}

std::string program_path(const char* name) {
    // VELKON_PROGRAMS_DIR runs these tests against programs built elsewhere (an older build).
    if (const char* dir = std::getenv("VELKON_PROGRAMS_DIR")) return std::string(dir) + "/" + name;
    return std::string(VELKON_BINARY_DIR) + "/" + name;
}

std::vector<std::filesystem::path> find_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    std::vector<std::filesystem::path> found;
    std::size_t at = 0;
    while (at <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::filesystem::path candidate =
            std::filesystem::path(dirs.substr(at, end - at)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) found.push_back(candidate);
        at = end + 1;
    }
    return found;
}

}  // namespace velkon::test
