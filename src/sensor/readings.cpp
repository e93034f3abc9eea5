#include "sensor/readings.h"

#include "protocol/frame.h"

namespace velkon {

namespace {

constexpr std::size_t kModeIndex = 20;

}  // namespace

std::optional<SensorReadings> decode_readings(std::string_view answer) {
    if (answer.size() < kReadingsMinSize || check_byte(answer) != 0) return std::nullopt;
    SensorReadings r;
    r.address = byte_at(answer, 1);
    r.temperature = static_cast<std::int8_t>(byte_at(answer, 3));
    r.level = static_cast<std::uint16_t>(little_endian_at(answer, 4, 2));
    r.current = little_endian_at(answer, 6, 4);
    r.empty = little_endian_at(answer, 10, 4);
    r.full = little_endian_at(answer, 14, 4);
    r.coefficient = static_cast<std::uint16_t>(little_endian_at(answer, 18, 2));
    // At 21 bytes the byte at index 20 is the check byte, not a mode byte.
    if (answer.size() > kReadingsMinSize) r.mode = byte_at(answer, kModeIndex);
    return r;
}

}  // namespace velkon
