// The serial driver on POSIX termios and poll().
//
// The descriptor is opened non-blocking and every wait is a poll() with a deadline, so no call
// can block beyond its time-out, a ClosePort from another thread can wake it, and a device that
// went away is seen as POLLHUP / EIO / end of file instead of silence.
//
// Draining (FlushPort) polls the output queue (TIOCOUTQ) instead of calling tcdrain(): tcdrain
// waits without a limit, and an adapter that stopped sending (stuck flow control, a USB device
// half gone) would hang the caller. The queue is given the time its bytes need at the line speed
// plus a margin; what the UART's own FIFO still holds after that is not waited for, as the next
// write comes half a second later.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "base/unique_fd.h"
#include "serial/posix_line.h"
#include "serial/serial_port.h"

namespace velkon {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxTransfer = kReadLimit;  // bytes per read and per write chunk
constexpr milliseconds kReadTotal{256};           // a read that receives nothing ends after this
constexpr milliseconds kReadGap{20};        // ... and one that received ends after this silence
constexpr milliseconds kWritePerByte{1};    // a chunk may take 1 ms per byte
constexpr milliseconds kWritePerChunk{10};  // ... plus 10 ms
constexpr milliseconds kWriteAtLeast{100};  // but never less than this (scheduling jitter)
constexpr milliseconds kDrainMargin{20};    // draining: the bytes' line time plus this
constexpr milliseconds kDrainStepMax{20};   // longest pause between two looks at the queue
constexpr int kBitsPerByte = 10;            // start + 8 data + stop, the usual case

// ---- Open failures -----------------------------------------------------------------------

struct ErrnoFailure {
    int error;
    OpenFailure failure;
};

// The one place where the platform's error numbers become reasons the user can act on.
constexpr ErrnoFailure kErrnoFailures[] = {
    {ENOENT, OpenFailure::NoSuchDevice},
    {ENODEV, OpenFailure::NoSuchDevice},
    {ENXIO, OpenFailure::NoSuchDevice},
    {ENOTDIR, OpenFailure::NoSuchDevice},
    {ENAMETOOLONG, OpenFailure::NoSuchDevice},  // no device has such a name
    {ELOOP, OpenFailure::NoSuchDevice},
    {EIO, OpenFailure::NoSuchDevice},  // a UART slot with no hardware behind it
    {EACCES, OpenFailure::PermissionDenied},
    {EPERM, OpenFailure::PermissionDenied},
    {EBUSY, OpenFailure::Busy},
    {EWOULDBLOCK, OpenFailure::Busy},  // flock
    {ENOTTY, OpenFailure::NotSerial},
    {EISDIR, OpenFailure::NotSerial},
};

OpenFailure failure_for_errno(int error) {
    for (const auto& row : kErrnoFailures) {
        if (row.error == error) return row.failure;
    }
    return OpenFailure::Other;
}

// The group that owns the device node, so the user is told which group to join.
std::string device_group(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "";
    std::vector<char> buffer(4096);
    group grp{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &grp, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return "";
    }
    return found->gr_name;
}

// USB adapters otherwise hold input back for up to 16 ms; drivers that do not know the request
// (pseudo-terminals among them) refuse it, which is fine.
void request_low_latency([[maybe_unused]] int fd) {
#ifdef __linux__
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    if (info.flags & ASYNC_LOW_LATENCY) return;
    info.flags |= ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &info);
#endif
}

bool is_hangup_error(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

int poll_timeout(Clock::duration left) {
    return static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
}

// ---- The driver ---------------------------------------------------------------------------

class PosixSerialPort final : public SerialPort {
  public:
    PosixSerialPort() : wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~PosixSerialPort() override { ClosePort(); }

    bool OpenPort(const std::string& path, const LineSettings& line) override;
    void ClosePort() override;
    void FlushPort() override;
    std::string ReadPort() override;
    std::size_t DiscardInputBeyond(std::size_t keep) override;
    int WritePort(const std::string& data) override;

    bool is_open() const override { return open_; }
    bool hung_up() const override { return hung_up_; }
    const OpenError& last_open_error() const override { return error_; }

  private:
    enum class Wait { Ready, Timeout, Woken, HungUp, Failed };

    Wait wait_for(short events, Clock::time_point deadline);
    bool pause_unless_woken(Clock::duration pause);
    void drain_locked();
    std::size_t write_chunk(std::string_view chunk);
    bool fail(OpenFailure failure, int error, const std::string& path);
    void wake() const;
    void clear_wake() const;

    std::mutex io_;  // held by every operation on fd_ for its whole duration
    UniqueFd fd_;
    UniqueFd wake_;  // eventfd that ClosePort raises to end a wait on another thread
    unsigned baud_ = 19200;
    std::optional<termios> found_settings_;  // the line's settings before we changed them
    std::atomic<bool> open_{false};
    std::atomic<bool> hung_up_{false};
    OpenError error_;
};

bool PosixSerialPort::fail(OpenFailure failure, int error, const std::string& path) {
    error_.failure = failure;
    error_.error_code = error;
    error_.device_group = device_group(path);
    return false;
}

bool PosixSerialPort::OpenPort(const std::string& path, const LineSettings& line) {
    ClosePort();  // a second open must not leak the first descriptor
    std::lock_guard lock(io_);
    error_ = {};
    hung_up_ = false;

    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return fail(failure_for_errno(errno), errno, path);
    // flock keeps out programs that honour it (and shows us theirs); TIOCEXCL, set below, keeps
    // out every other non-root opener.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return fail(failure_for_errno(errno), errno, path);
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) != 0) return fail(failure_for_errno(errno), errno, path);

    const termios found = tio;
    const auto wanted = line_termios(line, tio);
    if (!wanted) {
        error_.config_message = "Unable to build Comm DCB " + line_settings_text(line) +
                                " Error: " + std::to_string(EINVAL);
        return fail(OpenFailure::Configuration, EINVAL, path);
    }
    tio = *wanted;
    if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        const int error = errno;
        error_.config_message = "Unable to set Comm DCB " + line_settings_text(line) +
                                " Error: " + std::to_string(error);
        return fail(OpenFailure::Configuration, error, path);
    }
    request_low_latency(fd.get());
    (void)::ioctl(fd.get(), TIOCEXCL);  // some drivers refuse it; the flock still holds
    (void)::tcflush(fd.get(), TCIFLUSH);

    fd_ = std::move(fd);
    found_settings_ = found;
    baud_ = line.baud;
    open_ = true;
    return true;
}

void PosixSerialPort::wake() const {
    if (!wake_) return;
    const std::uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
}

void PosixSerialPort::clear_wake() const {
    if (!wake_) return;
    std::uint64_t count = 0;
    (void)!::read(wake_.get(), &count, sizeof count);
}

void PosixSerialPort::ClosePort() {
    wake();  // a read waiting on another thread returns at once and releases io_
    std::lock_guard lock(io_);
    clear_wake();
    if (!fd_) return;
    (void)::ioctl(fd_.get(), TIOCNXCL);
    // The next program on this line finds it as we found it; a device that went away refuses.
    if (found_settings_) (void)::tcsetattr(fd_.get(), TCSANOW, &*found_settings_);
    found_settings_.reset();
    fd_.reset();
    open_ = false;
}

PosixSerialPort::Wait PosixSerialPort::wait_for(short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return Wait::Timeout;
        pollfd fds[2] = {{fd_.get(), events, 0}, {wake_.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, poll_timeout(left));
        if (ready < 0) {
            if (errno == EINTR) continue;  // the deadline is kept, the remaining time recomputed
            return Wait::Failed;
        }
        if (ready == 0) continue;
        if (fds[1].revents & POLLIN) return Wait::Woken;
        if (fds[0].revents & events) return Wait::Ready;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return Wait::HungUp;
    }
}

bool PosixSerialPort::pause_unless_woken(Clock::duration pause) {
    pollfd fd = {wake_.get(), POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&fd, 1, poll_timeout(pause));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

std::string PosixSerialPort::ReadPort() {
    std::lock_guard lock(io_);
    if (!fd_ || hung_up_) return {};

    char buffer[kMaxTransfer];
    std::size_t count = 0;
    const auto give_up = Clock::now() + kReadTotal;
    auto deadline = give_up;
    while (count < kMaxTransfer) {
        const Wait waited = wait_for(POLLIN, deadline);
        if (waited == Wait::Woken) return {};
        if (waited == Wait::HungUp) hung_up_ = true;
        if (waited != Wait::Ready) break;
        // Never more than the caller may get: what is left stays queued for the next read.
        const ssize_t n = ::read(fd_.get(), buffer + count, kMaxTransfer - count);
        if (n > 0) {
            count += static_cast<std::size_t>(n);
            deadline = std::min(give_up, Clock::now() + kReadGap);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n == 0 || is_hangup_error(errno)) hung_up_ = true;
        break;
    }
    if (count == 0) {
        if (!hung_up_) drain_locked();
        return {};
    }
    return std::string(buffer, count);
}

void PosixSerialPort::drain_locked() {
    int queued = 0;
    if (::ioctl(fd_.get(), TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    const auto line_time = [this](int bytes) {
        return milliseconds(static_cast<long long>(bytes) * kBitsPerByte * 1000 / baud_ + 1);
    };
    const auto deadline = Clock::now() + line_time(queued) + kDrainMargin;
    while (Clock::now() < deadline) {
        const auto left = deadline - Clock::now();
        if (pause_unless_woken(
                std::min<Clock::duration>({left, line_time(queued), kDrainStepMax}))) {
            return;
        }
        if (::ioctl(fd_.get(), TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    }
}

void PosixSerialPort::FlushPort() {
    std::lock_guard lock(io_);
    if (!fd_ || hung_up_) return;
    drain_locked();
}

std::size_t PosixSerialPort::DiscardInputBeyond(std::size_t keep) {
    std::lock_guard lock(io_);
    if (!fd_ || hung_up_) return 0;
    int waiting = 0;
    if (::ioctl(fd_.get(), TIOCINQ, &waiting) != 0 || waiting <= static_cast<int>(keep)) return 0;
    (void)::tcflush(fd_.get(), TCIFLUSH);
    return static_cast<std::size_t>(waiting);
}

std::size_t PosixSerialPort::write_chunk(std::string_view chunk) {
    const auto budget = kWritePerByte * static_cast<long long>(chunk.size()) + kWritePerChunk;
    const auto deadline = Clock::now() + std::max<milliseconds>(budget, kWriteAtLeast);
    std::size_t sent = 0;
    while (sent < chunk.size()) {
        const ssize_t n = ::write(fd_.get(), chunk.data() + sent, chunk.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            const Wait waited = wait_for(POLLOUT, deadline);
            if (waited == Wait::Ready) continue;
            if (waited == Wait::HungUp) hung_up_ = true;
            break;
        }
        if (n < 0 && is_hangup_error(errno)) hung_up_ = true;
        break;
    }
    return sent;
}

int PosixSerialPort::WritePort(const std::string& data) {
    std::lock_guard lock(io_);
    if (!fd_ || hung_up_) return 0;
    std::size_t total = 0;
    for (std::size_t pos = 0; pos < data.size(); pos += kMaxTransfer) {
        const std::string_view chunk = std::string_view(data).substr(pos, kMaxTransfer);
        const std::size_t sent = write_chunk(chunk);
        total += sent;
        if (sent < chunk.size()) break;  // a short chunk ends the write; the caller sees the gap
    }
    return static_cast<int>(total);
}

}  // namespace

std::unique_ptr<SerialPort> make_serial_port() {
    return std::make_unique<PosixSerialPort>();
}

}  // namespace velkon
