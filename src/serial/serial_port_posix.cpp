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
#include <charconv>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "serial/posix_line.h"
#include "serial/serial_port.h"
#include "serial/unique_fd.h"

namespace velkon {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxTransfer = 255;   // bytes per read and per write chunk
constexpr milliseconds kReadTotal{256};     // a read that receives nothing ends after this
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

// ---- Line settings ("19200,n,8,1") --------------------------------------------------------

struct LineSettings {
    unsigned baud = 0;
    speed_t speed = B0;
    char parity = 'n';  // n, e, o
    int data_bits = 8;
    int stop_bits = 1;
};

struct BaudRow {
    unsigned baud;
    speed_t speed;
};

constexpr BaudRow kBaudRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<unsigned> whole_number(std::string_view s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> split_fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

std::optional<LineSettings> parse_settings(std::string_view text) {
    const auto fields = split_fields(text);
    if (fields.size() != 4) return std::nullopt;
    LineSettings line;

    const auto baud = whole_number(fields[0]);
    const auto rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                   [&](const BaudRow& row) { return baud && row.baud == *baud; });
    if (rate == std::end(kBaudRates)) return std::nullopt;
    line.baud = rate->baud;
    line.speed = rate->speed;

    if (fields[1].size() != 1) return std::nullopt;
    line.parity = static_cast<char>(fields[1][0] | 0x20);  // either case
    if (line.parity != 'n' && line.parity != 'e' && line.parity != 'o') return std::nullopt;

    const auto data = whole_number(fields[2]);
    if (!data || *data < 5 || *data > 8) return std::nullopt;
    line.data_bits = static_cast<int>(*data);

    const auto stop = whole_number(fields[3]);
    if (!stop || (*stop != 1 && *stop != 2)) return std::nullopt;
    line.stop_bits = static_cast<int>(*stop);
    return line;
}

tcflag_t size_flag(int data_bits) {
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    return kSizes[data_bits - 5];
}

// Raw bytes both ways, no flow control, modem lines ignored; reads never block by themselves
// (the descriptor is non-blocking), and VMIN 1 makes a read of 0 bytes mean end of file.
void apply_line(termios& tio, const LineSettings& line) {
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size_flag(line.data_bits);
    if (line.parity != 'n') tio.c_cflag |= PARENB;
    if (line.parity == 'o') tio.c_cflag |= PARODD;
    if (line.stop_bits == 2) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, line.speed);
    ::cfsetospeed(&tio, line.speed);
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

    bool OpenPort(const std::string& path, const std::string& settings) override;
    void ClosePort() override;
    void FlushPort() override;
    std::string ReadPort() override;
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

bool PosixSerialPort::OpenPort(const std::string& path, const std::string& settings) {
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

    const auto line = parse_settings(settings);
    if (!line) {
        error_.config_message =
            "Unable to build Comm DCB " + settings + " Error: " + std::to_string(EINVAL);
        return fail(OpenFailure::Configuration, EINVAL, path);
    }
    apply_line(tio, *line);
    if (::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        const int error = errno;
        error_.config_message =
            "Unable to set Comm DCB " + settings + " Error: " + std::to_string(error);
        return fail(OpenFailure::Configuration, error, path);
    }
    request_low_latency(fd.get());
    (void)::ioctl(fd.get(), TIOCEXCL);  // some drivers refuse it; the flock still holds
    (void)::tcflush(fd.get(), TCIFLUSH);

    fd_ = std::move(fd);
    baud_ = line->baud;
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

std::optional<termios> line_termios(std::string_view settings, const termios& base) {
    const auto line = parse_settings(settings);
    if (!line) return std::nullopt;
    termios tio = base;
    apply_line(tio, *line);
    return tio;
}

std::unique_ptr<SerialPort> make_serial_port() {
    return std::make_unique<PosixSerialPort>();
}

}  // namespace velkon
