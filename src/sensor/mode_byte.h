// The sensor's mode byte and the controls that show it: the operating mode in bits 1, 2 and 4
// (one option button per value) and three flags (one check box each). Both the mode command
// and the mode answers go through these tables.
#pragma once

#include <cstdint>
#include <string_view>

namespace velkon {

struct ModeControl {
    std::uint8_t bits;
    std::string_view control;
};

inline constexpr std::uint8_t kOperatingModeMask = 0x16;
inline constexpr ModeControl kOperatingModeButtons[] = {
    {0x00, "R485"}, {0x02, "R_a"}, {0x04, "R_f"}, {0x06, "R_p"}, {0x10, "R_p485"},
};

inline constexpr std::uint8_t kRange4096Bit = 0x80;
inline constexpr ModeControl kModeFlagBoxes[] = {
    {0x01, "iinv"},             // indicator inversion
    {0x08, "usredn"},           // smoothing
    {kRange4096Bit, "D_4096"},  // 4096 range
};

}  // namespace velkon
