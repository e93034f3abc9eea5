#include "sim/device.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "protocol/codes.h"
#include "protocol/frame.h"

namespace velkon::sim {

namespace {

constexpr std::size_t kRecordLength = 162;  // positions 4..165

constexpr std::size_t kImeiWidth = 15;
constexpr std::size_t kSimWidth = 20;
constexpr char kImeiSimSeparator = ',';

std::uint8_t u8(std::string_view bytes, std::size_t index) {
    return static_cast<std::uint8_t>(bytes[index]);
}

// The command code of a request; the network poll carries none.
std::optional<std::uint8_t> request_code(std::string_view request) {
    if (request.size() < 4) return std::nullopt;
    return u8(request, 2);
}

std::uint32_t be32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value = value << 8 | u8(bytes, i);
    return value;
}

std::int16_t be_shift(std::string_view bytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(u8(bytes, 0) << 8 | u8(bytes, 1)));
}

std::uint16_t le16(std::string_view bytes) {
    return static_cast<std::uint16_t>(u8(bytes, 0) | u8(bytes, 1) << 8);
}

void put8(std::string& out, std::uint8_t value) {
    out.push_back(static_cast<char>(value));
}

void put_le(std::string& out, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) put8(out, static_cast<std::uint8_t>(value >> (8 * i)));
}

void put_be(std::string& out, std::uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) put8(out, static_cast<std::uint8_t>(value >> (8 * i)));
}

// A text in a field of fixed width: NUL-padded, cut when too long (the device's memory is fixed).
void put_text(std::string& out, std::string_view text, std::size_t width) {
    const std::size_t taken = std::min(text.size(), width);
    out.append(text.substr(0, taken));
    out.append(width - taken, '\0');
}

std::string without_trailing_nuls(std::string_view field) {
    const auto end = field.find_last_not_of('\0');
    return std::string(end == std::string_view::npos ? std::string_view{}
                                                     : field.substr(0, end + 1));
}

std::uint32_t shifted(std::uint32_t value, std::int16_t shift) {
    const std::int64_t result = static_cast<std::int64_t>(value) + shift;
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(result, 0, std::numeric_limits<std::uint32_t>::max()));
}

struct TextField {
    std::string TrackerConfig::*member;
    std::size_t width;
};

// The record's text fields in record order, from position 5 on.
constexpr TextField kTextFields[] = {
    {&TrackerConfig::apn, 30},          {&TrackerConfig::gsm_user, 20},
    {&TrackerConfig::gsm_password, 20}, {&TrackerConfig::pin, 5},
    {&TrackerConfig::server, 25},       {&TrackerConfig::port, 6},
    {&TrackerConfig::device_id, 10},    {&TrackerConfig::server_password, 25},
};

}  // namespace

// --- sensor state -------------------------------------------------------------------------------

std::uint32_t SensorState::current() const {
    const std::int64_t span = static_cast<std::int64_t>(probe_full) - probe_empty;
    const std::int64_t value = probe_empty + span * fuel_ppm / 1'000'000;
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(value, 0, std::numeric_limits<std::uint32_t>::max()));
}

std::uint16_t SensorState::level_scale() const {
    return (mode & 0x80) ? 4095 : 1023;
}

std::uint16_t SensorState::level() const {
    if (full_value == empty_value) return 0;
    const double fraction = (static_cast<double>(current()) - empty_value) /
                            (static_cast<double>(full_value) - empty_value);
    return static_cast<std::uint16_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * level_scale()));
}

std::uint8_t SensorState::level_byte() const {
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(fuel_ppm) * 50 + 500'000) /
                                     1'000'000);
}

// --- configuration record -----------------------------------------------------------------------

std::string encode_config(const TrackerConfig& config) {
    std::string out;
    put8(out, config.format);
    for (const auto& field : kTextFields) put_text(out, config.*field.member, field.width);
    put_le(out, config.period, 2);
    put8(out, config.input1_mode);
    put8(out, config.input2_mode);
    for (auto flags : config.channel_flags) put8(out, flags);
    for (auto address : config.channel_addresses) put8(out, address);
    return out;
}

TrackerConfig decode_config(std::string_view record) {
    TrackerConfig config;
    if (record.size() < kRecordLength) return config;
    config.format = u8(record, 0);
    std::size_t at = 1;
    for (const auto& field : kTextFields) {
        config.*field.member = without_trailing_nuls(record.substr(at, field.width));
        at += field.width;
    }
    config.period = le16(record.substr(at));
    config.input1_mode = u8(record, at + 2);
    config.input2_mode = u8(record, at + 3);
    at += 4;
    for (std::size_t i = 0; i < 8; ++i) config.channel_flags[i] = u8(record, at + i);
    for (std::size_t i = 0; i < 8; ++i) config.channel_addresses[i] = u8(record, at + 8 + i);
    return config;
}

// --- framing ------------------------------------------------------------------------------------

const Device::Command* Device::find_command(bool tracker, std::uint8_t code) {
    static constexpr Command kSensor[] = {
        {code::kReadings, 0, &Device::readings, false},
        {code::kVersion, 0, &Device::version, false},
        {code::kCalibrateFull, 0, &Device::calibrate_full, true},
        {code::kCalibrateEmpty, 0, &Device::calibrate_empty, true},
        {code::kSetMode, 1, &Device::set_mode, true},
        {code::kSetAddress, 1, &Device::set_address, true},
        {code::kShiftFull, 2, &Device::shift_full, true},
        {code::kShiftEmpty, 2, &Device::shift_empty, true},
        {code::kChangePassword, 4, &Device::change_password, true},
        {code::kEnterPassword, 4, &Device::enter_password, false},
        {code::kSetSerial, 4, &Device::set_sensor_serial, true},
        {code::kEngineRunning, 0, &Device::engine_running, false},
        {code::kEngineStopped, 0, &Device::engine_stopped, false},
        {code::kHorizon, 0, &Device::horizon, false},
    };
    static constexpr Command kTracker[] = {
        {code::kLiveData, 0, &Device::live_data, false},
        {code::kConfigRead, 5, &Device::read_config, false},
        {code::kConfigWrite, 3 + kRecordLength, &Device::write_config, false},
        {code::kSetSerial, 4, &Device::set_tracker_serial, false},
        {code::kCommandA5, 5, &Device::command_a5, false},
        {code::kSetBp, 4, &Device::set_bp, false},
        {code::kImei, 0, &Device::read_imei, false},
        {code::kModemLog, 0, &Device::modem_log, false},
    };
    const auto find = [code](const auto& table) -> const Command* {
        const auto it = std::find_if(std::begin(table), std::end(table),
                                     [code](const Command& c) { return c.code == code; });
        return it == std::end(table) ? nullptr : &*it;
    };
    return tracker ? find(kTracker) : find(kSensor);
}

RequestLength request_length(std::string_view head) {
    if (head.empty()) return {FrameProbe::NeedMore};
    const std::uint8_t prefix = u8(head, 0);
    if (prefix != kSensorPrefix && prefix != kAnswerPrefix) return {FrameProbe::NotARequest};
    if (head.size() < 2) return {FrameProbe::NeedMore};
    const bool tracker = prefix == kAnswerPrefix;
    if (!tracker && u8(head, 1) == kPollAddress) return {FrameProbe::Length, 3};
    if (tracker && u8(head, 1) != kUnitAddress) return {FrameProbe::NotARequest};
    if (head.size() < 3) return {FrameProbe::NeedMore};
    const auto* command = Device::find_command(tracker, u8(head, 2));
    if (!command) return {FrameProbe::NotARequest};
    return {FrameProbe::Length, 4u + command->data_length};
}

std::string Reply::bytes() const {
    std::string out = echo;
    for (const auto& chunk : chunks) out += chunk;
    return out;
}

std::string as_heard_at(std::string_view bytes, int sender_baud, int receiver_baud) {
    // The line as the sender drives it, one entry per sender bit: start 0, data LSB first, stop 1.
    std::vector<bool> line;
    line.reserve(bytes.size() * 10);
    for (char c : bytes) {
        line.push_back(false);
        for (int bit = 0; bit < 8; ++bit)
            line.push_back((static_cast<unsigned char>(c) >> bit) & 1);
        line.push_back(true);
    }
    const auto level_at = [&](double t) {
        const auto index = static_cast<std::size_t>(t);
        return t < 0 || index >= line.size() || line[index];
    };
    // Receiver bit time, in sender bits.
    const double bit = static_cast<double>(sender_baud) / receiver_baud;
    std::string heard;
    std::size_t from = 0;  // where to look for the next falling edge, in sender bits
    for (;;) {
        std::size_t edge = from;
        while (edge < line.size() && (line[edge] || (edge > 0 && !line[edge - 1]))) ++edge;
        if (edge >= line.size()) break;
        const double start = static_cast<double>(edge);
        unsigned value = 0;
        for (int i = 0; i < 8; ++i) {
            if (level_at(start + (1.5 + i) * bit)) value |= 1u << i;
        }
        const double stop = start + 9.5 * bit;
        heard.push_back(level_at(stop) ? static_cast<char>(value) : '\0');
        from = static_cast<std::size_t>(stop) + 1;
    }
    return heard;
}

std::string spaced_hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[static_cast<std::uint8_t>(c) >> 4]);
        out.push_back(kDigits[static_cast<std::uint8_t>(c) & 0x0F]);
    }
    return out;
}

// --- device -------------------------------------------------------------------------------------

Device::Device(SensorState sensor, TrackerState tracker)
    : sensor_(std::move(sensor)), tracker_(std::move(tracker)) {
    sync_live();
}

Reply Device::answer(std::string_view request) {
    ++requests_;
    const auto code = request_code(request);
    const bool lost = faults_.silent || (faults_.ignore_code && code == faults_.ignore_code) ||
                      (faults_.silent_every != 0 && requests_ % faults_.silent_every == 0) ||
                      (faults_.silent_from != 0 && requests_ >= faults_.silent_from &&
                       requests_ <= faults_.silent_to);
    Reply reply;
    if (!lost) {
        if (auto answer = respond(request)) reply = deliver(std::move(*answer));
    }
    reply.echo = echoes(request);
    previous_request_ = std::string(request);
    reply.hang_up = faults_.hangup_after != 0 && requests_ >= faults_.hangup_after;
    return reply;
}

// The line hands back what it hears whether or not the unit answers, so a lost request echoes
// too.
std::string Device::echoes(std::string_view request) const {
    std::string out;
    if (faults_.echo_previous) out = previous_request_;
    if (!faults_.echo && !faults_.echo_twice && faults_.partial_echo == 0) return out;
    const std::string_view heard =
        faults_.partial_echo != 0 ? request.substr(0, faults_.partial_echo) : request;
    out += heard;
    if (faults_.echo_twice) out += heard;
    return out;
}

// Modem text replaces the answer outright; the other frame faults apply in order: code, size,
// then the check byte, so a wrong check byte stays wrong whatever else is on.
Reply Device::deliver(std::string answer) const {
    if (faults_.modem_text) {
        answer = faults_.modem_line;
    } else if (!answer.empty() && u8(answer, 0) == kAnswerPrefix) {
        // The device's own code decides the per-code fault, not the one the unknown-code fault
        // puts in.
        const std::uint8_t own_code = u8(answer, 2);
        std::string body = answer.substr(0, answer.size() - 1);
        if (faults_.unknown_code) body[2] = static_cast<char>(kUnknownAnswerCode);
        if (faults_.oversize > answer.size()) body.append(faults_.oversize - answer.size(), '\0');
        answer = Control_summ(body);
        const bool spoiled = faults_.wrong_check || own_code == faults_.wrong_check_code;
        if (spoiled) answer.back() = static_cast<char>(~u8(answer, answer.size() - 1));
    }
    if (faults_.garbage_speed) answer = as_heard_at(answer, 9600, 19200);
    Reply reply;
    reply.delay = faults_.delay;
    reply.paced = faults_.pacing;
    if (faults_.split && answer.size() >= 2) {
        const std::size_t half = answer.size() / 2;
        reply.chunks = {answer.substr(0, half), answer.substr(half)};
        reply.gap = faults_.split_gap;
    } else if (!answer.empty()) {
        reply.chunks = {std::move(answer)};
    }
    return reply;
}

std::optional<std::string> Device::respond(std::string_view request) {
    const auto expected = request_length(request);
    if (expected.probe != FrameProbe::Length || expected.length != request.size()) return {};
    if (check_byte(request) != 0) return {};
    return u8(request, 0) == kSensorPrefix ? sensor_request(request) : tracker_request(request);
}

void Device::advance(std::chrono::milliseconds elapsed) {
    if (sensor_.tank) {
        sensor_.tank->advance(elapsed);
        sensor_.fuel_ppm = static_cast<std::uint32_t>(std::lround(sensor_.tank->height() * 1e6));
    } else if (elapsed.count() > 0) {
        consumption_carry_ += static_cast<std::uint64_t>(sensor_.consumption_ppm_per_s) *
                              static_cast<std::uint64_t>(elapsed.count());
        const std::uint64_t used = consumption_carry_ / 1000;
        consumption_carry_ %= 1000;
        sensor_.fuel_ppm =
            used >= sensor_.fuel_ppm ? 0 : sensor_.fuel_ppm - static_cast<std::uint32_t>(used);
        if (sensor_.fuel_ppm < sensor_.refill_below_ppm) sensor_.fuel_ppm = sensor_.refill_to_ppm;
    }
    sync_live();
}

void Device::sync_live() {
    if (!tracker_.live.follow_sensor) return;
    tracker_.live.channels[0] = sensor_.level();
    tracker_.live.entries[1] = sensor_.level_byte();
}

// --- sensor -------------------------------------------------------------------------------------

std::optional<std::string> Device::sensor_request(std::string_view request) {
    const std::uint8_t address = u8(request, 1);
    if (address == kPollAddress) return readings({});           // the network poll: "who is there"
    if (address != sensor_.address && address != 0) return {};  // another sensor's request
    const auto* command = find_command(false, u8(request, 2));
    if (command->guarded && !may_configure()) return sensor_answer(code::kWrongPassword);
    return (this->*command->handler)(request.substr(3, command->data_length));
}

// With a password set, a configuration command goes through only right after the password was
// given, and uses that permission up.
bool Device::may_configure() {
    if (sensor_.password == 0) return true;
    return std::exchange(sensor_.unlocked, false);
}

std::string Device::sensor_answer(std::uint8_t code, std::string_view data) const {
    std::string frame;
    put8(frame, kAnswerPrefix);
    put8(frame, sensor_.address);
    put8(frame, code);
    frame.append(data);
    return Control_summ(frame);
}

std::optional<std::string> Device::readings(std::string_view) {
    std::string data;
    put8(data, static_cast<std::uint8_t>(sensor_.temperature));
    put_le(data, sensor_.level(), 2);
    put_le(data, sensor_.current(), 4);
    put_le(data, sensor_.empty_value, 4);
    put_le(data, sensor_.full_value, 4);
    put_le(data, sensor_.coefficient, 2);
    if (sensor_.readings_carry_mode) put8(data, sensor_.mode);
    return sensor_answer(code::kReadings, data);
}

std::optional<std::string> Device::version(std::string_view) {
    std::string data;
    put_le(data, sensor_.serial, 4);
    put8(data, sensor_.firmware);
    put8(data, sensor_.firmware_lead);
    return sensor_answer(code::kVersion, data);
}

std::optional<std::string> Device::calibrate_full(std::string_view) {
    sensor_.full_value = sensor_.current();
    return sensor_answer(code::kCalibrateFull);
}

std::optional<std::string> Device::calibrate_empty(std::string_view) {
    sensor_.empty_value = sensor_.current();
    return sensor_answer(code::kCalibrateEmpty);
}

std::optional<std::string> Device::set_mode(std::string_view data) {
    sensor_.mode = u8(data, 0);
    sync_live();  // the level scale may have changed
    return sensor_answer(code::kSetMode, data);
}

// The answer already comes from the new address. 0xFF is the poll address and is refused.
std::optional<std::string> Device::set_address(std::string_view data) {
    if (u8(data, 0) == kPollAddress) return {};
    sensor_.address = u8(data, 0);
    return sensor_answer(code::kSetAddress);
}

// A shift moves the calibration value it names by a signed amount.
std::optional<std::string> Device::shift_full(std::string_view data) {
    sensor_.full_value = shifted(sensor_.full_value, be_shift(data));
    return sensor_answer(code::kShiftFull);
}

std::optional<std::string> Device::shift_empty(std::string_view data) {
    sensor_.empty_value = shifted(sensor_.empty_value, be_shift(data));
    return sensor_answer(code::kShiftEmpty);
}

std::optional<std::string> Device::change_password(std::string_view data) {
    sensor_.password = be32(data);
    return sensor_answer(code::kChangePassword);
}

std::optional<std::string> Device::enter_password(std::string_view data) {
    sensor_.unlocked = be32(data) == sensor_.password;
    return sensor_answer(sensor_.unlocked ? code::kEnterPassword : code::kWrongPassword);
}

std::optional<std::string> Device::set_sensor_serial(std::string_view data) {
    sensor_.serial = be32(data);
    return sensor_answer(code::kSetSerial);
}

// Ignition and horizon calibration take the current value and give no answer.
std::optional<std::string> Device::engine_running(std::string_view) {
    sensor_.engine_running_value = sensor_.current();
    return {};
}

std::optional<std::string> Device::engine_stopped(std::string_view) {
    sensor_.engine_stopped_value = sensor_.current();
    return {};
}

std::optional<std::string> Device::horizon(std::string_view) {
    sensor_.horizon_value = sensor_.current();
    return {};
}

// --- tracker ------------------------------------------------------------------------------------

std::optional<std::string> Device::tracker_request(std::string_view request) {
    const auto* command = find_command(true, u8(request, 2));
    return (this->*command->handler)(request.substr(3, command->data_length));
}

std::string Device::tracker_answer(std::uint8_t code, std::string_view data) const {
    std::string frame;
    put8(frame, kAnswerPrefix);
    put8(frame, kUnitAddress);
    put8(frame, code);
    frame.append(data);
    return Control_summ(frame);
}

std::optional<std::string> Device::live_data(std::string_view) {
    sync_live();
    const LiveData& live = tracker_.live;
    std::string data;
    put_le(data, live.status, 2);
    put_le(data, live.analog1, 2);
    put_le(data, live.analog2, 2);
    put_le(data, live.supply, 2);
    put_le(data, live.frequency1, 2);
    put_le(data, live.frequency2, 2);
    put8(data, live.inputs);
    for (auto channel : live.channels) put_be(data, channel, 2);
    put8(data, live.gsm);
    put8(data, live.satellites);
    put8(data, live.traffic);
    for (auto entry : live.entries) put8(data, entry);
    return tracker_answer(code::kLiveData, data);
}

std::optional<std::string> Device::read_config(std::string_view) {
    std::string data = encode_config(tracker_.config);
    put_be(data, tracker_.firmware, 2);
    put_be(data, tracker_.serial, 4);
    return tracker_answer(code::kConfigRead, data);
}

// The unit takes a record only with the fixed trailer bytes after it; anything else is not a
// configuration write and goes unanswered.
std::optional<std::string> Device::write_config(std::string_view data) {
    const std::string_view trailer = data.substr(kRecordLength);
    if (!std::equal(
            trailer.begin(), trailer.end(), kConfigWriteTail.begin(), kConfigWriteTail.end(),
            [](char b, std::uint8_t want) { return static_cast<std::uint8_t>(b) == want; })) {
        return {};
    }
    tracker_.config = decode_config(data.substr(0, kRecordLength));
    return tracker_answer(code::kConfigWrite);
}

std::optional<std::string> Device::set_tracker_serial(std::string_view data) {
    tracker_.serial = be32(data);
    return tracker_answer(code::kSetSerial);
}

std::optional<std::string> Device::command_a5(std::string_view) {
    return {};
}

std::optional<std::string> Device::set_bp(std::string_view data) {
    tracker_.bp_value = be32(data);
    return {};
}

std::optional<std::string> Device::read_imei(std::string_view) {
    std::string data;
    put_text(data, tracker_.imei, kImeiWidth);
    data.push_back(kImeiSimSeparator);
    put_text(data, tracker_.sim, kSimWidth);
    return tracker_answer(code::kImei, data);
}

// The unit's modem log is plain text, not a frame.
std::optional<std::string> Device::modem_log(std::string_view) {
    if (tracker_.modem_log.empty()) return {};
    return tracker_.modem_log;
}

}  // namespace velkon::sim
