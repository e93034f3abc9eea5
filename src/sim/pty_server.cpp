#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velkon::sim {

namespace {

// One byte at 19200 baud, 8N1: ten bit times.
constexpr std::chrono::nanoseconds kByteTime{10'000'000'000LL / 19200};
constexpr std::size_t kReadChunk = 4096;
// How long a hang-up waits for the client to take the last answer, how long the answer may take
// to reach the client's queue, and how often it looks.
constexpr std::chrono::seconds kDrainLimit{2};
constexpr std::chrono::milliseconds kDrainSettle{100};
constexpr std::chrono::milliseconds kDrainPoll{5};

std::string errno_text(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

bool make_raw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The echo is shown apart from the answer, so that an echoed request the unit left unanswered
// does not read as answered.
std::string log_line(const Reply& reply) {
    std::string line = "->";
    if (!reply.echo.empty()) line += " [echo " + spaced_hex(reply.echo) + "]";
    std::string answer;
    for (const auto& chunk : reply.chunks) answer += chunk;
    line += answer.empty() ? std::string(" (no answer)") : " " + spaced_hex(answer);
    return line;
}

}  // namespace

PtyServer::PtyServer(Device device, ServerOptions options)
    : options_(std::move(options)), device_(std::move(device)) {}

PtyServer::~PtyServer() {
    stop();
}

bool PtyServer::fail(const std::string& what) {
    error_ = what;
    master_.reset();
    slave_.reset();
    wake_read_.reset();
    wake_write_.reset();
    raw_wake_read_.reset();
    raw_wake_write_.reset();
    slave_path_.clear();
    return false;
}

bool PtyServer::start() {
    if (worker_.joinable()) {
        if (!hung_up_) return true;
        stop();  // after a hang-up: plug in again, on a new pseudo-terminal
    }
    error_.clear();
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master_) return fail(errno_text("posix_openpt"));
    if (::grantpt(master_.get()) != 0) return fail(errno_text("grantpt"));
    if (::unlockpt(master_.get()) != 0) return fail(errno_text("unlockpt"));
    char name[128];
    if (::ptsname_r(master_.get(), name, sizeof name) != 0) return fail(errno_text("ptsname_r"));
    slave_path_ = name;
    // Holding the slave open keeps the master from reporting a hang-up while no client has it.
    slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_) return fail(errno_text("open slave"));
    // Raw from the start: an echoing line would send our answers back to us.
    if (!make_raw(slave_.get())) return fail(errno_text("tcsetattr"));
    if (::fcntl(master_.get(), F_SETFL, ::fcntl(master_.get(), F_GETFL) | O_NONBLOCK) != 0)
        return fail(errno_text("fcntl"));
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail(errno_text("pipe2"));
    wake_read_.reset(wake[0]);
    wake_write_.reset(wake[1]);
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail(errno_text("pipe2"));
    raw_wake_read_.reset(wake[0]);
    raw_wake_write_.reset(wake[1]);
    hung_up_ = false;
    framer_ = RequestFramer{};
    worker_ = std::thread(&PtyServer::run, this);
    return true;
}

void PtyServer::stop() {
    if (worker_.joinable()) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(wake_write_.get(), &byte, 1);
        worker_.join();
    }
    master_.reset();
    slave_.reset();
    wake_read_.reset();
    wake_write_.reset();
    raw_wake_read_.reset();
    raw_wake_write_.reset();
    handled_changed_.notify_all();
}

void PtyServer::send_raw(std::string_view bytes) {
    {
        std::lock_guard lock(mutex_);
        raw_.append(bytes);
    }
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(raw_wake_write_.get(), &byte, 1);
}

std::size_t PtyServer::raw_pending() const {
    std::lock_guard lock(mutex_);
    return raw_.size() - raw_sent_;
}

void PtyServer::drop_raw() {
    std::lock_guard lock(mutex_);
    raw_.clear();
    raw_sent_ = 0;
}

// Puts as much of the queued bytes on the line as it takes now; false when the line is gone.
bool PtyServer::write_raw_chunk() {
    std::string chunk;
    {
        std::lock_guard lock(mutex_);
        chunk = raw_.substr(raw_sent_, kReadChunk);
    }
    if (chunk.empty()) return true;
    const ssize_t put = ::write(master_.get(), chunk.data(), chunk.size());
    if (put < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        log("line error: " + errno_text("write"));
        return false;
    }
    std::lock_guard lock(mutex_);
    raw_sent_ = std::min(raw_sent_ + static_cast<std::size_t>(put), raw_.size());
    if (raw_sent_ == raw_.size()) {
        raw_.clear();
        raw_sent_ = 0;
    }
    return true;
}

void PtyServer::set_faults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    device_.faults() = faults;
}

Faults PtyServer::faults() const {
    std::lock_guard lock(mutex_);
    return device_.faults();
}

Device PtyServer::device() const {
    std::lock_guard lock(mutex_);
    return device_;
}

std::uint64_t PtyServer::requests() const {
    std::lock_guard lock(mutex_);
    return handled_;
}

bool PtyServer::wait_requests(std::uint64_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return handled_changed_.wait_for(lock, timeout, [&] {
        return handled_ >= count || hung_up_;
    }) && handled_ >= count;
}

void PtyServer::log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

void PtyServer::run() {
    for (;;) {
        const bool raw = raw_pending() > 0;
        pollfd fds[3] = {{master_.get(), static_cast<short>(POLLIN | (raw ? POLLOUT : 0)), 0},
                         {wake_read_.get(), POLLIN, 0},
                         {raw_wake_read_.get(), POLLIN, 0}};
        const int timeout = framer_.holding() ? static_cast<int>(options_.request_gap.count()) : -1;
        const int ready = ::poll(fds, 3, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0 || fds[1].revents != 0) return;
        if (fds[2].revents & POLLIN) {
            char drain[64];
            while (::read(raw_wake_read_.get(), drain, sizeof drain) > 0) {
            }
        }
        if ((fds[0].revents & POLLOUT) && !write_raw_chunk()) return;
        std::vector<RequestFramer::Piece> pieces;
        if (ready == 0) {
            pieces = framer_.flush();
        } else if (fds[0].revents & POLLIN) {
            char buffer[kReadChunk];
            const ssize_t got = ::read(master_.get(), buffer, sizeof buffer);
            if (got > 0) {
                pieces = framer_.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
            } else if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            } else {
                log("line error: " + errno_text("read"));
                return;
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while we hold the slave; leave rather than spin on it.
            log("line error: master reports a hang-up");
            return;
        }
        for (const auto& piece : pieces) {
            if (!handle(piece)) return;
        }
    }
}

// False when the server must stop (stop requested, line gone).
bool PtyServer::handle(const RequestFramer::Piece& piece) {
    if (!piece.frame) {
        log("?? " + spaced_hex(piece.bytes) + "  (not a request, ignored)");
        return true;
    }
    log("<- " + spaced_hex(piece.bytes));
    Reply reply;
    {
        std::lock_guard lock(mutex_);
        device_.advance(options_.time_per_request);
        reply = device_.answer(piece.bytes);
    }
    log(log_line(reply));
    const bool written = write_reply(reply);
    {
        std::lock_guard lock(mutex_);
        ++handled_;
    }
    handled_changed_.notify_all();
    if (reply.hang_up) {
        hang_up();
        return false;
    }
    return written;
}

bool PtyServer::write_reply(const Reply& reply) {
    if (reply.empty()) return true;
    if (!reply.echo.empty() && !(reply.paced ? write_paced(reply.echo) : write_all(reply.echo))) {
        return false;
    }
    auto due = std::chrono::steady_clock::now() + reply.delay;
    for (std::size_t i = 0; i < reply.chunks.size(); ++i) {
        if (i > 0) due = std::chrono::steady_clock::now() + reply.gap;
        if (!pause_until(due)) return false;
        const bool ok = reply.paced ? write_paced(reply.chunks[i]) : write_all(reply.chunks[i]);
        if (!ok) return false;
    }
    return true;
}

bool PtyServer::write_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(master_.get(), bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN) {
            log("line error: " + errno_text("write"));
            return false;
        }
        // The client is not reading and the line's buffer is full: wait for room or for stop.
        pollfd fds[2] = {{master_.get(), POLLOUT, 0}, {wake_read_.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (fds[1].revents != 0) return false;
    }
    return true;
}

// Each byte leaves at the time it would reach the end of a 19200-baud line.
bool PtyServer::write_paced(std::string_view bytes) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!write_all(bytes.substr(i, 1))) return false;
        if (!pause_until(start + kByteTime * static_cast<long>(i + 1))) return false;
    }
    return true;
}

// Waits for the deadline; false when a stop arrives first.
bool PtyServer::pause_until(std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{static_cast<time_t>(ns / 1'000'000'000),
                            static_cast<long>(ns % 1'000'000'000)};
        pollfd wake{wake_read_.get(), POLLIN, 0};
        const int ready = ::ppoll(&wake, 1, &wait, nullptr);
        if (ready > 0) return false;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// Closing the master throws away what the client has not read yet, so the last answer would
// never arrive. The bytes reach the slave's queue a moment after the write, so wait until they
// were seen there and taken, or until they had time to get there and the queue is empty.
void PtyServer::hang_up() {
    const auto start = std::chrono::steady_clock::now();
    bool seen = false;
    for (;;) {
        int queued = 0;
        if (::ioctl(slave_.get(), FIONREAD, &queued) != 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (queued > 0) {
            seen = true;
        } else if (seen || now - start >= kDrainSettle) {
            break;
        }
        if (now - start >= kDrainLimit || !pause_until(now + kDrainPoll)) break;
    }
    log("hang-up: closing the line");
    {
        // Set before the line drops, so whoever sees the hang-up on the line also sees the flag.
        std::lock_guard lock(mutex_);
        hung_up_ = true;
    }
    handled_changed_.notify_all();
    master_.reset();
    slave_.reset();
}

}  // namespace velkon::sim
