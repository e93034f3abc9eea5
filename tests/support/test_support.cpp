#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace velkon::test {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on `fd` until `deadline`; false on time-out or error.
bool wait_fd(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int ms = remaining_ms(deadline);
        if (ms == 0) return false;
        pollfd p = {fd, events, 0};
        const int ready = ::poll(&p, 1, ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        return (p.revents & events) != 0;
    }
}

std::string errno_text(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        error_ = errno_text("posix_openpt");
        return;
    }
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        error_ = errno_text("pty setup");
        close_master();
        return;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slave_hold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (slave_hold_ < 0 || ::tcgetattr(slave_hold_, &tio) != 0) {
        error_ = errno_text("pty slave");
        close_master();
        return;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_hold_, TCSANOW, &tio);
    slave_path_ = name;
}

PtyPair::~PtyPair() {
    close_slave_hold();
    close_master();
}

bool PtyPair::write_master(std::string_view bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!wait_fd(master_, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string PtyPair::read_master(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string out;
    char buffer[512];
    while (out.size() < count) {
        const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!wait_fd(master_, POLLIN, deadline)) break;
        } else {
            break;
        }
    }
    return out;
}

std::string PtyPair::read_master_until_quiet(std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds timeout) {
    const auto give_up = Clock::now() + timeout;
    std::string out;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) break;
        const auto deadline = std::min(give_up, Clock::now() + quiet);
        if (!wait_fd(master_, POLLIN, deadline)) break;
    }
    return out;
}

void PtyPair::close_master() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::close_slave_hold() {
    if (slave_hold_ >= 0) ::close(slave_hold_);
    slave_hold_ = -1;
}

namespace {

// Tests take rights away from folders inside; they are given back so everything can go.
void give_rights_back(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) give_rights_back(entry.path());
    }
}

}  // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/velkon-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    give_rights_back(path_);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::make_dir(const std::filesystem::path& relative) const {
    const auto full = path_ / relative;
    std::filesystem::create_directories(full);
    return full;
}

std::filesystem::path TempDir::write_file(const std::filesystem::path& relative,
                                          std::string_view content) const {
    const auto full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full;
}

std::optional<std::string> TempDir::read_file(const std::filesystem::path& relative) const {
    std::ifstream in(path_ / relative, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

}  // namespace velkon::test
