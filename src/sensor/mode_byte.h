// The sensor's mode byte and the controls that show it: the operating mode in bits 1, 2 and 4
// (one option button per value) and three flags (one check box each). Both the mode command
// and the mode answers go through these tables.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/control_names.h"

namespace velkon {

struct ModeControl {
    std::uint8_t bits;
    ControlName control;
};

inline constexpr std::uint8_t kOperatingModeMask = 0x16;
inline constexpr ModeControl kOperatingModeButtons[] = {
    {0x00, ctl::R485}, {0x02, ctl::R_a}, {0x04, ctl::R_f}, {0x06, ctl::R_p}, {0x10, ctl::R_p485},
};

inline constexpr std::uint8_t kRange4096Bit = 0x80;
inline constexpr ModeControl kModeFlagBoxes[] = {
    {0x01, ctl::iinv},             // indicator inversion
    {0x08, ctl::usredn},           // smoothing
    {kRange4096Bit, ctl::D_4096},  // 4096 range
};

}  // namespace velkon
