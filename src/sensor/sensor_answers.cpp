// The sensor's answers shown in the window: readings, version and serial number, modes.
// Numbers in the sensor's answers go least significant byte first. Positions below are 0-based
// indices into the answer (the byte at index 3 is the fourth byte of the frame).
#include "sensor/sensor_answers.h"

#include <string>

#include "sensor/mode_byte.h"
#include "sensor/readings.h"

namespace velkon {

namespace {

constexpr std::size_t kVersionMin = 7;    // up to the end of the serial number
constexpr std::size_t kVersionFull = 10;  // serial number, version, leading byte, check byte

std::uint32_t le32(const Frame& frame, std::size_t index) {
    return little_endian_at(frame, index, 4);
}

// "1.6.3." for 163: each decimal digit followed by a point; a missing digit leaves its point.
std::string version_digits(std::uint8_t version) {
    const std::string digits = std::to_string(version);
    std::string text;
    for (std::size_t i = 0; i < 3; ++i) {
        if (i < digits.size()) text += digits[i];
        text += '.';
    }
    return text;
}

// The controls newer firmware supports, by the lowest version that has them.
struct VersionGroup {
    std::uint8_t from_version;
    void (WindowModel::*enable)();
};
constexpr VersionGroup kVersionGroups[] = {
    {130, &WindowModel::enable_tag_130},
    {131, &WindowModel::enable_tag_131},
    {134, &WindowModel::enable_tags_135_to_162},
    {163, &WindowModel::enable_tag_163},
};

}  // namespace

void SensorAnswers::show_readings(const Frame& answer) {
    // Too short to hold the calibration values, or damaged: nothing is shown (the dispatch
    // refuses it too).
    const auto readings = decode_readings(answer);
    if (!readings) return;
    FormVars& v = m_.vars;

    if (readings->current > 0) {
        m_.set_text(ctl::tek, std::to_string(readings->current));
        m_.set_text(ctl::temp, std::to_string(readings->temperature) + " °C");
        m_.set_text(ctl::ne, std::to_string(readings->address));
        const int level = readings->level;
        m_.set_maximum(ctl::ProgressBar1, v.Ur_progressBar);
        if (level < v.Ur_progressBar) m_.set_value(ctl::ProgressBar1, level);
        m_.set_text(ctl::uroven, std::to_string(level));
        ++v.levels_shown;
    }
    m_.set_text(ctl::lo, std::to_string(readings->empty));
    m_.set_text(ctl::hi, std::to_string(readings->full));
    m_.set_text(ctl::ko, std::to_string(readings->coefficient));

    if (readings->mode && v.mode_yes) show_modes(*readings->mode);
}

void SensorAnswers::show_version(const Frame& answer) {
    if (answer.size() < kVersionMin) {
        m_.set_text(ctl::sn, "????????");
        return;
    }
    m_.set_text(ctl::sn, std::to_string(le32(answer, 3)));
    if (answer.size() != kVersionFull) return;

    const std::uint8_t version = byte_at(answer, 7);
    const std::uint8_t lead = byte_at(answer, 8);
    m_.set_text(ctl::vv,
                (lead != 0 ? std::to_string(lead) : std::string()) + version_digits(version));
    // Only enabling here: closing the link disables the groups again.
    for (const VersionGroup& group : kVersionGroups) {
        if (version >= group.from_version) (m_.*group.enable)();
    }
}

void SensorAnswers::show_modes(std::uint8_t mode) {
    FormVars& v = m_.vars;
    for (const ModeControl& flag : kModeFlagBoxes) m_.set_checked(flag.control, mode & flag.bits);
    v.Ur_progressBar = (mode & kRange4096Bit) ? 4096 : 1024;

    // A value with no button of its own (0x12, 0x14, 0x16) leaves the buttons as they were.
    const std::uint8_t bits = mode & kOperatingModeMask;
    for (const ModeControl& button : kOperatingModeButtons) {
        if (button.bits != bits) continue;
        for (const ModeControl& other : kOperatingModeButtons) m_.set_checked(other.control, false);
        m_.set_checked(button.control, true);
        break;
    }
    v.mode_yes = false;
}

}  // namespace velkon
