// The simulated devices behind the configurator's serial line: the fuel level sensor and the
// tracker unit that carries it, answering one request frame at a time.
//
// Record layouts are written here from the protocol tables on purpose, apart from the
// configurator's own record code, so that a layout mistake on one side shows up as a failing
// exchange instead of being mirrored. Only the check byte (pinned by published vectors) is shared.
//
// Nothing here does I/O or reads a clock: time moves only through advance(), so every run is
// reproducible. Not thread-safe; PtyServer serialises access.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/tank.h"

namespace velkon::sim {

// The fuel level sensor. Numbers in its answers go least significant byte first.
struct SensorState {
    std::uint8_t address = 1;      // network address; address 0 in a request reaches it too
    std::int8_t temperature = 21;  // degrees Celsius

    // The tank: filling in millionths of full. It empties at `consumption_ppm_per_s` and is
    // refilled to `refill_to_ppm` once it falls below `refill_below_ppm`, so a long demo keeps
    // moving.
    std::uint32_t fuel_ppm = 750'000;
    std::uint32_t consumption_ppm_per_s = 200;
    std::uint32_t refill_below_ppm = 50'000;
    std::uint32_t refill_to_ppm = 950'000;
    // With a tank the filling follows the fuel poured into it instead (no consumption).
    std::optional<Tank> tank;

    // The probe's raw value ("current value") in an empty and in a full tank; the current value
    // lies on the line between them.
    std::uint32_t probe_empty = 10'000;
    std::uint32_t probe_full = 100'000;

    std::uint32_t empty_value = 10'000;  // empty-level calibration
    std::uint32_t full_value = 100'000;  // full-level calibration
    std::uint16_t coefficient = 1;
    std::uint8_t mode = 0x08;         // mode byte: smoothing on, RS-485 mode
    bool readings_carry_mode = true;  // false: 21-byte readings without the mode byte

    std::uint32_t serial = 4242;
    std::uint8_t firmware = 163;     // firmware version number
    std::uint8_t firmware_lead = 0;  // leading version byte, 0 = none

    std::uint32_t password = 0;  // 0 = no password: configuration commands need no unlock
    bool unlocked = false;       // a correct password was given for the next command

    // Values taken by the commands that have no answer of their own.
    std::optional<std::uint32_t> engine_running_value;  // 0xE3
    std::optional<std::uint32_t> engine_stopped_value;  // 0xE5
    std::optional<std::uint32_t> horizon_value;         // 0xAA

    std::uint32_t current() const;
    std::uint16_t level_scale() const;  // 4095 with the 4096 range bit, else 1023
    std::uint16_t level() const;        // current value placed between the calibration values
    std::uint8_t level_byte() const;    // the tank filling as 0..50, as the unit reports it
};

// The unit's configuration record. Text fields hold the field's bytes (single-byte code page)
// with trailing NUL padding removed, so a record read from a frame writes back byte for byte.
struct TrackerConfig {
    std::uint8_t format = 0x16;  // the byte after the code
    std::string apn = "internet";
    std::string gsm_user = "gdata";
    std::string gsm_password = "gdata";
    std::string pin;
    std::string server = "203.0.113.10";
    std::string port = "20332";
    std::string device_id = "0000012345";
    std::string server_password;
    std::uint16_t period = 60;  // seconds
    std::uint8_t input1_mode = 1;
    std::uint8_t input2_mode = 3;
    // One byte per RS-485 channel: bit 0 enabled; bit 7 of the first byte is the EGTS flag.
    // Other bits are kept as written.
    std::array<std::uint8_t, 8> channel_flags{0x01, 0x01, 0, 0, 0, 0, 0, 0};
    std::array<std::uint8_t, 8> channel_addresses{1, 2, 3, 4, 5, 6, 7, 8};

    bool channel_enabled(int channel) const { return channel_flags.at(channel) & 0x01; }
    bool egts() const { return channel_flags[0] & 0x80; }
    bool operator==(const TrackerConfig&) const = default;
};

// What the unit reports in its live data.
struct LiveData {
    std::uint16_t status = 0;      // the two bytes after the code
    std::uint16_t analog1 = 4500;  // raw, 360 per volt
    std::uint16_t analog2 = 0;
    std::uint16_t supply = 1380;  // hundredths of a volt
    std::uint16_t frequency1 = 0;
    std::uint16_t frequency2 = 513;
    std::uint8_t inputs = 0x01;  // bit 0 input 1, bit 1 input 2
    std::array<std::uint16_t, 8> channels{0, 258, 0, 0, 0, 0, 0, 0};
    std::uint8_t gsm = 21;
    std::uint8_t satellites = 9;
    std::uint8_t traffic = 12;
    // Twelve two-byte entries; entries[0] is the signal-to-noise value, entries[1] the level byte.
    std::array<std::uint8_t, 24> entries{31, 0, 28, 0, 25, 0, 22, 0, 19};
    // The carried sensor feeds channel 1 and the level byte (kept in step by advance() and
    // before every live-data answer).
    bool follow_sensor = true;
};

struct TrackerState {
    TrackerConfig config;
    std::uint16_t firmware = 43;
    std::uint32_t serial = 100500;
    std::string imei = "356938035643809";      // 15 characters
    std::string sim = "89701010000000000012";  // 20 characters
    LiveData live;
    std::optional<std::uint32_t> bp_value;                         // last value of the 0xA6 command
    std::string modem_log = "+CREG: 0,1\r\n+CSQ: 21,0\r\nOK\r\n";  // the answer to 0xE8
};

// Faults to inject. Several may be on at once: a lost request (or one of the ignored code) gets
// nothing; modem text replaces the answer; otherwise the code is changed, then the frame grown,
// then the check byte spoiled. Whatever the line hands back before the answer comes first: the
// previous request, then this one's echo (cut short, doubled).
struct Faults {
    bool silent = false;        // every request is lost: no answer, no effect
    unsigned silent_every = 0;  // every Nth request (counted from 1) is lost; 0 = off
    // Requests silent_from..silent_to (counted from 1) are lost, a gap of the unit; 0 = off.
    unsigned silent_from = 0;
    unsigned silent_to = 0;
    bool wrong_check = false;   // the answer's check byte is wrong
    bool unknown_code = false;  // the answer carries code 0x99
    bool modem_text = false;    // a line of modem text instead of the answer
    std::string modem_line = "+CSQ: 17,0\r\n";
    std::size_t oversize = 0;  // grow every answer frame to this many bytes; 0 = off
    bool split = false;        // the answer leaves in two writes `split_gap` apart
    std::chrono::milliseconds split_gap{100};
    std::chrono::milliseconds delay{0};  // before the answer
    unsigned hangup_after = 0;  // the line hangs up after the Nth request's answer; 0 = never
    bool pacing = false;        // bytes leave at wire speed, 19200 baud 8N1
    // Every request comes back at once, before the answer (lost or not), as from a half-duplex
    // RS-485 adapter that hears its own transmission.
    bool echo = false;
    // The answer as a receiver at 19200 baud hears a device sending at 9600: other bytes, some
    // with framing errors (read as 0).
    bool garbage_speed = false;
    // The request comes back twice, as from an adapter that hears itself through two transceivers.
    bool echo_twice = false;
    // The request received before this one comes back first (nothing on the first), as from a
    // repeater that hands on its buffer one request late.
    bool echo_previous = false;
    // Only the first N bytes of each request come back (all of a shorter one), as from an adapter
    // that turns its receiver on late; 0 = off.
    std::size_t partial_echo = 0;
    // Requests with this code get no answer and have no effect: a unit without that command.
    std::optional<std::uint8_t> ignore_code = std::nullopt;
    // Only the device's answers with this code carry a wrong check byte.
    std::optional<std::uint8_t> wrong_check_code = std::nullopt;
};

inline constexpr std::uint8_t kUnknownAnswerCode = 0x99;

// How to deliver one answer.
struct Reply {
    std::string echo;                 // written at once, before the delay
    std::vector<std::string> chunks;  // written in order; none = no answer
    std::chrono::milliseconds delay{0};
    std::chrono::milliseconds gap{0};  // between chunks
    bool paced = false;
    bool hang_up = false;  // close the line after this reply

    bool empty() const { return echo.empty() && chunks.empty(); }
    std::string bytes() const;  // the echo and the chunks joined
};

// How long the request frame that begins with `head` is, by its prefix and code.
enum class FrameProbe { Length, NeedMore, NotARequest };
struct RequestLength {
    FrameProbe probe;
    std::size_t length = 0;
};
RequestLength request_length(std::string_view head);

class Device {
  public:
    Device() = default;
    explicit Device(SensorState sensor, TrackerState tracker = {});

    // The reply to one request frame, faults applied. A request that is not a well-formed frame
    // for one of the two devices (prefix, address, code, length, check byte) gets none.
    Reply answer(std::string_view request);

    // The devices' own answer to one request, no faults; applies the request's effect.
    std::optional<std::string> respond(std::string_view request);

    // Moves the simulated time on: the tank empties, the live data follows the sensor.
    void advance(std::chrono::milliseconds elapsed);

    SensorState& sensor() { return sensor_; }
    const SensorState& sensor() const { return sensor_; }
    TrackerState& tracker() { return tracker_; }
    const TrackerState& tracker() const { return tracker_; }
    Faults& faults() { return faults_; }
    const Faults& faults() const { return faults_; }
    std::uint64_t requests() const { return requests_; }

  private:
    // One command: its code, the number of data bytes in the request, and the handler that takes
    // them and returns the answer frame (or none). Guarded commands change the sensor's
    // configuration and need the password when one is set.
    using Handler = std::optional<std::string> (Device::*)(std::string_view data);
    struct Command {
        std::uint8_t code;
        std::uint8_t data_length;
        Handler handler;
        bool guarded;
    };
    static const Command* find_command(bool tracker, std::uint8_t code);
    friend RequestLength request_length(std::string_view head);

    std::optional<std::string> sensor_request(std::string_view request);
    std::optional<std::string> tracker_request(std::string_view request);
    std::string sensor_answer(std::uint8_t code, std::string_view data = {}) const;
    std::string tracker_answer(std::uint8_t code, std::string_view data = {}) const;
    bool may_configure();
    void sync_live();
    Reply deliver(std::string answer) const;
    std::string echoes(std::string_view request) const;

    std::optional<std::string> readings(std::string_view data);
    std::optional<std::string> version(std::string_view data);
    std::optional<std::string> calibrate_full(std::string_view data);
    std::optional<std::string> calibrate_empty(std::string_view data);
    std::optional<std::string> set_mode(std::string_view data);
    std::optional<std::string> set_address(std::string_view data);
    std::optional<std::string> shift_full(std::string_view data);
    std::optional<std::string> shift_empty(std::string_view data);
    std::optional<std::string> change_password(std::string_view data);
    std::optional<std::string> enter_password(std::string_view data);
    std::optional<std::string> set_sensor_serial(std::string_view data);
    std::optional<std::string> engine_running(std::string_view data);
    std::optional<std::string> engine_stopped(std::string_view data);
    std::optional<std::string> horizon(std::string_view data);

    std::optional<std::string> live_data(std::string_view data);
    std::optional<std::string> read_config(std::string_view data);
    std::optional<std::string> write_config(std::string_view data);
    std::optional<std::string> set_tracker_serial(std::string_view data);
    std::optional<std::string> command_a5(std::string_view data);
    std::optional<std::string> set_bp(std::string_view data);
    std::optional<std::string> read_imei(std::string_view data);
    std::optional<std::string> modem_log(std::string_view data);

    SensorState sensor_;
    TrackerState tracker_;
    Faults faults_;
    std::uint64_t requests_ = 0;
    std::string previous_request_;         // for the echo of the previous request
    std::uint64_t consumption_carry_ = 0;  // ppm x ms not yet taken from the tank
};

// Configuration record <-> bytes at positions 4..165 of the read answer and the write frame.
std::string encode_config(const TrackerConfig& config);
TrackerConfig decode_config(std::string_view positions_4_to_165);

// What a UART at `receiver_baud` (8N1) reads from `bytes` sent at `sender_baud` (8N1): each
// byte begins at a falling edge of the line and is sampled in the middle of its own bit times;
// a byte without its stop bit (a framing error) is read as 0, as the driver hands it over.
std::string as_heard_at(std::string_view bytes, int sender_baud, int receiver_baud);

// "31 01 F0 C5": upper-case hexadecimal pairs separated by spaces, for logs.
std::string spaced_hex(std::string_view bytes);

}  // namespace velkon::sim
