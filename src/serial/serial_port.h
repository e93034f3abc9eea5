// The program's one serial connection.
//
// Six operations, each ending quietly on any fault (false, empty text, 0); nothing here throws
// or shows anything. Data crosses as std::string, one char per byte, byte-transparent.
//
// Timing contract of ReadPort: waits for bytes and returns 20 ms after the last one (bytes that
// were already waiting count as just received, so such a read takes about 20 ms), after about a
// quarter second (256 ms) in all, or at once with 255 bytes; never returns more than 255 bytes
// (the rest waits for the next read). When nothing arrived it flushes and returns "".
//
// WritePort sends chunks of at most 255 bytes in order and returns the total written; a chunk
// that does not go out completely ends the write, so the total is short and the caller treats
// that as a write failure.
//
// Threads: all calls come from one thread, except that ClosePort may be called while a ReadPort
// runs on another thread; it wakes that read (which returns "") and waits for it to leave before
// releasing the device.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace velkon {

enum class OpenFailure {
    None,
    NoSuchDevice,      // the path names nothing
    PermissionDenied,  // the user may not open it (not in the device's group)
    Busy,              // another program holds it
    NotSerial,         // the path is not a terminal device
    Configuration,     // line settings or time-outs could not be applied
    Other,
};

struct OpenError {
    OpenFailure failure = OpenFailure::None;
    int error_code = 0;          // the platform's error number
    std::string device_group;    // the group that owns the device, when known ("dialout")
    std::string config_message;  // for Configuration: "Unable to set Comm DCB ... Error: n"
};

enum class Parity : char { None = 'n', Even = 'e', Odd = 'o' };

// The framing of the line. A driver refuses (OpenFailure::Configuration) a speed it has no
// setting for, data bits outside 5..8 and stop bits other than 1 or 2.
struct LineSettings {
    unsigned baud = 0;
    Parity parity = Parity::None;
    int data_bits = 8;
    int stop_bits = 1;

    bool operator==(const LineSettings&) const = default;
};

// The line both devices talk on.
inline constexpr LineSettings kDeviceLine{19200, Parity::None, 8, 1};

// The settings as the drivers' messages name them: "19200,n,8,1".
std::string line_settings_text(const LineSettings& line);

// The most one ReadPort returns, and the largest chunk one write sends.
inline constexpr std::size_t kReadLimit = 255;

class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens `path` with the framing `line`: exclusive, raw, stale input flushed. On failure the
    // port stays closed and last_open_error() says why.
    virtual bool OpenPort(const std::string& path, const LineSettings& line) = 0;
    virtual void ClosePort() = 0;
    // Waits until what was written has left (bounded); does nothing with no port open.
    virtual void FlushPort() = 0;
    virtual std::string ReadPort() = 0;
    virtual int WritePort(const std::string& data) = 0;

    // Discards all waiting input when more than `keep` bytes wait (never more than one read
    // takes); returns how many bytes went. Backends that cannot tell discard nothing.
    virtual std::size_t DiscardInputBeyond(std::size_t keep) {
        (void)keep;
        return 0;
    }

    virtual bool is_open() const = 0;
    // True once the device has gone away under an open port (adapter unplugged, peer closed):
    // reads then return "" at once and writes return 0.
    virtual bool hung_up() const = 0;
    virtual const OpenError& last_open_error() const = 0;
};

// The platform's driver (POSIX termios on Linux).
std::unique_ptr<SerialPort> make_serial_port();

// The plain Russian reason of a failed open for the user, or "" when none applies.
std::string describe_open_error(const OpenError& error, const std::string& path);

}  // namespace velkon
