// The sensor's readings answer (code 0xF0) as numbers. Numbers in the sensor's answers go least
// significant byte first.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velkon {

struct SensorReadings {
    std::uint8_t address = 0;     // the answering sensor's network address
    std::int8_t temperature = 0;  // degrees Celsius
    std::uint16_t level = 0;
    std::uint32_t current = 0;  // the probe's raw value; 0 while the sensor has none
    std::uint32_t empty = 0;    // empty-level calibration value
    std::uint32_t full = 0;     // full-level calibration value
    std::uint16_t coefficient = 0;
    std::optional<std::uint8_t> mode;  // the mode byte, when the answer carries one
};

inline constexpr std::size_t kReadingsMinSize = 21;  // the answer without its mode byte

// The readings of an intact answer: at least 21 bytes with a matching check byte. A shorter or
// damaged answer gives nothing, as half a number would show a value the sensor never reported.
std::optional<SensorReadings> decode_readings(std::string_view answer);

}  // namespace velkon
