// The serial driver on Win32: a COM port opened synchronously, with the time-out record
// 20/1/1/1/10 and the line settings put into the port's control block.
//
// The time-outs bound every call: a read returns 20 ms after the last byte, after 256 ms when
// nothing comes, or at once with 255 bytes. A write chunk may take 1 ms per byte plus 100 ms:
// 10 ms is about one timer tick, and a USB adapter waking from power saving takes longer, so
// the write would come back short and close the link (the POSIX driver has the same floor).
//
// Real Windows is stricter than wine about the control block: SetCommState refuses one whose
// XonChar equals XoffChar, and fBinary must be set. The block therefore starts from the port's
// own state (or from zero where that cannot be read) and is settled after the line settings
// are put in: binary, no flow control, no error replacement, DTR and RTS on.
//
// There is no unbounded flush: FlushFileBuffers on a comm handle waits for the adapter to
// drain with no time limit and cannot be cancelled. The flush waits for the output queue to
// empty up to a deadline instead, and a close ends the wait.
// ClosePort from another thread cancels a read in progress (CancelSynchronousIo); where the
// system cannot cancel it (wine), the time-out ends it. Either way ClosePort does not wait for
// that read: the reading thread releases the handle as it comes back, so the window that closes
// the port never freezes for the rest of a read.
//
// Hang-up: an unplugged adapter (or, under wine, a pseudo-terminal whose peer went away) makes
// reads return nothing and writes fail with a device error. The first such failure marks the port
// hung up; the write comes back short, and the caller closes the link as for any write failure.
#include "serial/serial_port_win32.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>

#include "serial/serial_port.h"
#include "serial/unique_handle.h"

// "A device which does not exist was specified": newer system headers than mingw's name it.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

namespace velkon {

namespace {

constexpr DWORD kMaxTransfer = 255;  // bytes per read and per write chunk

constexpr COMMTIMEOUTS kTimeouts = {
    20,   // ReadIntervalTimeout
    1,    // ReadTotalTimeoutMultiplier
    1,    // ReadTotalTimeoutConstant
    1,    // WriteTotalTimeoutMultiplier
    100,  // WriteTotalTimeoutConstant: the floor, see above
};

constexpr DWORD kFlushDeadlineMs = 100;

struct ErrorFailure {
    DWORD error;
    OpenFailure failure;
};

// The one place where the system's error codes become reasons the user can act on.
constexpr ErrorFailure kErrorFailures[] = {
    {ERROR_FILE_NOT_FOUND, OpenFailure::NoSuchDevice},
    {ERROR_PATH_NOT_FOUND, OpenFailure::NoSuchDevice},
    {ERROR_INVALID_NAME, OpenFailure::NoSuchDevice},
    {ERROR_BAD_NETPATH, OpenFailure::NoSuchDevice},
    {ERROR_DEV_NOT_EXIST, OpenFailure::NoSuchDevice},
    {ERROR_DEVICE_NOT_CONNECTED, OpenFailure::NoSuchDevice},
    {ERROR_DEVICE_REMOVED, OpenFailure::NoSuchDevice},
    {ERROR_NO_SUCH_DEVICE, OpenFailure::NoSuchDevice},
    {ERROR_ACCESS_DENIED, OpenFailure::Busy},
    {ERROR_SHARING_VIOLATION, OpenFailure::Busy},
    {ERROR_BUSY, OpenFailure::Busy},
};

}  // namespace

// Errors that mean the device has gone (adapter unplugged, wine's pseudo-terminal hung up), as
// opposed to a read cancelled by ClosePort or a time-out.
bool is_hangup_error(unsigned long error) {
    switch (error) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_NO_SUCH_DEVICE:
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_BROKEN_PIPE:
            return true;
        default:
            return false;
    }
}

const COMMTIMEOUTS& comm_timeouts() {
    return kTimeouts;
}

bool put_line(const LineSettings& line, DCB& dcb) {
    if (line.baud == 0 || line.data_bits < 5 || line.data_bits > 8) return false;
    switch (line.stop_bits) {
        case 1:
            dcb.StopBits = ONESTOPBIT;
            break;
        case 2:
            dcb.StopBits = TWOSTOPBITS;
            break;
        default:
            return false;
    }
    switch (line.parity) {
        case Parity::None:
            dcb.Parity = NOPARITY;
            break;
        case Parity::Even:
            dcb.Parity = EVENPARITY;
            break;
        case Parity::Odd:
            dcb.Parity = ODDPARITY;
            break;
        default:
            return false;
    }
    dcb.fParity = line.parity != Parity::None;
    dcb.BaudRate = line.baud;
    dcb.ByteSize = static_cast<BYTE>(line.data_bits);
    return true;
}

void settle_comm_dcb(DCB& dcb) {
    dcb.DCBlength = sizeof dcb;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    // Unused with software flow control off, but the system checks them all the same.
    if (dcb.XonChar == dcb.XoffChar) {
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
    }
}

namespace {

class Win32SerialPort final : public SerialPort {
  public:
    ~Win32SerialPort() override {
        ClosePort();
        std::lock_guard lock(io_);  // an operation still under way ends first
        port_.reset();
    }

    bool OpenPort(const std::string& path, const LineSettings& line) override;
    void ClosePort() override;
    void FlushPort() override;
    std::string ReadPort() override;
    int WritePort(const std::string& data) override;
    std::size_t DiscardInputBeyond(std::size_t keep) override;

    bool is_open() const override { return open_; }
    bool hung_up() const override { return hung_up_; }
    const OpenError& last_open_error() const override { return error_; }

  private:
    // Holds io_ for one operation; as it ends, a close that came meanwhile releases the port.
    class Operation {
      public:
        explicit Operation(Win32SerialPort& port) : port_(port) { port_.io_.lock(); }
        ~Operation() {
            port_.io_.unlock();
            port_.release_if_closing();
        }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

      private:
        Win32SerialPort& port_;
    };

    void release_if_closing();
    bool fail_configuration(DWORD error, std::string message);
    void cancel_read();
    void drain_output();  // with io_ held
    DWORD write_chunk(std::string_view chunk);

    std::mutex io_;  // held by every operation on port_ for its whole duration
    UniqueHandle port_;
    char buffer_[kMaxTransfer + 1] = {};  // the transfer buffer shared by reads and writes
    std::atomic<bool> open_{false};
    std::atomic<bool> hung_up_{false};
    OpenError error_;

    std::mutex reader_mutex_;  // guards reader_thread_
    DWORD reader_thread_ = 0;  // the thread inside ReadFile, 0 when none
    std::atomic<bool> closing_{false};
};

bool Win32SerialPort::fail_configuration(DWORD error, std::string message) {
    error_.failure = OpenFailure::Configuration;
    error_.error_code = static_cast<int>(error);
    error_.config_message = std::move(message);
    port_.reset();
    return false;
}

bool Win32SerialPort::OpenPort(const std::string& path, const LineSettings& line) {
    ClosePort();  // a second open must not leak the first handle
    std::lock_guard lock(io_);
    port_.reset();  // a close left to an operation that ended just now
    closing_ = false;
    error_ = {};
    hung_up_ = false;

    UniqueHandle port(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!port) {
        const DWORD error = GetLastError();
        error_.failure = failure_for_win32_error(error);
        error_.error_code = static_cast<int>(error);
        return false;
    }
    port_ = std::move(port);

    COMMTIMEOUTS timeouts = kTimeouts;
    if (!SetCommTimeouts(port_.get(), &timeouts)) {
        const DWORD error = GetLastError();
        return fail_configuration(
            error, "Unable to set timeouts for port " + path + " Error: " + std::to_string(error));
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port_.get(), &dcb)) {
        dcb = DCB{};
        dcb.DCBlength = sizeof dcb;
    }
    if (!put_line(line, dcb)) {
        const DWORD error = ERROR_INVALID_PARAMETER;
        return fail_configuration(error, "Unable to build Comm DCB " + line_settings_text(line) +
                                             " Error: " + std::to_string(error));
    }
    settle_comm_dcb(dcb);
    if (!SetCommState(port_.get(), &dcb)) {
        const DWORD error = GetLastError();
        return fail_configuration(error, "Unable to set Comm DCB " + line_settings_text(line) +
                                             " Error: " + std::to_string(error));
    }
    // What the device sent before we listened belongs to no request of ours.
    PurgeComm(port_.get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
    open_ = true;
    return true;
}

void Win32SerialPort::cancel_read() {
    std::lock_guard lock(reader_mutex_);
    if (reader_thread_ == 0) return;
    const HANDLE thread = OpenThread(THREAD_TERMINATE, FALSE, reader_thread_);
    if (!thread) return;
    CancelSynchronousIo(thread);
    CloseHandle(thread);
}

void Win32SerialPort::ClosePort() {
    open_ = false;
    closing_ = true;
    cancel_read();  // a read waiting on another thread ends now, where the system can end it
    // An operation still under way on the worker releases the port as it ends.
    release_if_closing();
}

// Whoever sees the close and gets io_ first releases the port: the closing thread when no
// operation runs, else the operation's thread as it ends (it checks after unlocking, so a close
// that came just then is not missed).
void Win32SerialPort::release_if_closing() {
    if (!closing_) return;
    std::unique_lock lock(io_, std::try_to_lock);
    if (!lock.owns_lock() || !closing_) return;
    port_.reset();
    closing_ = false;
}

std::string Win32SerialPort::ReadPort() {
    const Operation operation(*this);
    if (!port_ || hung_up_ || closing_) return {};

    DWORD count = 0;
    {
        std::lock_guard reader(reader_mutex_);
        reader_thread_ = GetCurrentThreadId();
    }
    const BOOL ok = ReadFile(port_.get(), buffer_, kMaxTransfer, &count, nullptr);
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    {
        std::lock_guard reader(reader_mutex_);
        reader_thread_ = 0;
    }
    if (closing_) return {};  // the port is released as this read ends
    if (!ok && is_hangup_error(error)) hung_up_ = true;
    if (count == 0 || count > kMaxTransfer) {
        if (!hung_up_ && !closing_) drain_output();
        return {};
    }
    return std::string(buffer_, count);
}

void Win32SerialPort::FlushPort() {
    const Operation operation(*this);
    if (!port_ || hung_up_) return;
    drain_output();
}

void Win32SerialPort::drain_output() {
    const ULONGLONG deadline = GetTickCount64() + kFlushDeadlineMs;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(port_.get(), &errors, &status)) {
            if (is_hangup_error(GetLastError())) hung_up_ = true;
            return;
        }
        if (status.cbOutQue == 0 || closing_ || GetTickCount64() >= deadline) return;
        Sleep(1);  // the queue drains at 1920 bytes a second: poll, do not spin
    }
}

DWORD Win32SerialPort::write_chunk(std::string_view chunk) {
    std::copy(chunk.begin(), chunk.end(), buffer_);
    DWORD written = 0;
    if (!WriteFile(port_.get(), buffer_, static_cast<DWORD>(chunk.size()), &written, nullptr)) {
        if (is_hangup_error(GetLastError())) hung_up_ = true;
    }
    return written;
}

int Win32SerialPort::WritePort(const std::string& data) {
    const Operation operation(*this);
    if (!port_ || hung_up_) return 0;
    if (data.empty()) return static_cast<int>(write_chunk({}));
    DWORD total = 0;
    for (std::size_t pos = 0; pos < data.size(); pos += kMaxTransfer) {
        const std::string_view chunk = std::string_view(data).substr(pos, kMaxTransfer);
        const DWORD sent = write_chunk(chunk);
        total += sent;
        if (sent < chunk.size()) break;  // a short chunk ends the write; the caller sees the gap
    }
    return static_cast<int>(total);
}

std::size_t Win32SerialPort::DiscardInputBeyond(std::size_t keep) {
    const Operation operation(*this);
    if (!port_ || hung_up_) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_.get(), &errors, &status)) return 0;
    if (status.cbInQue <= keep) return 0;
    PurgeComm(port_.get(), PURGE_RXCLEAR);
    return status.cbInQue;
}

}  // namespace

OpenFailure failure_for_win32_error(unsigned long error) {
    for (const auto& row : kErrorFailures) {
        if (row.error == error) return row.failure;
    }
    return OpenFailure::Other;
}

std::unique_ptr<SerialPort> make_serial_port() {
    return std::make_unique<Win32SerialPort>();
}

}  // namespace velkon
