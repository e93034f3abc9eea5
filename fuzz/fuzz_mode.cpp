// The mode answer (code F2) and the mode byte of the readings: every byte of the input is shown
// in turn, as a run of mode answers would be. The operating mode is one of five option buttons:
// the one named by the mode's bits is on and no other, and the three flag boxes follow their bits.
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "fuzz_support.h"
#include "sensor/mode_byte.h"
#include "sensor/sensor_answers.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WindowModel model = fuzz::fresh_window();
    SensorAnswers answers(model);
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t mode = data[i];
        bool before[std::size(kOperatingModeButtons)];
        bool has_button = false;
        for (std::size_t b = 0; b < std::size(kOperatingModeButtons); ++b) {
            before[b] = model.checked(kOperatingModeButtons[b].control);
            has_button |= (mode & kOperatingModeMask) == kOperatingModeButtons[b].bits;
        }
        answers.show_modes(mode);
        int checked = 0;
        for (std::size_t b = 0; b < std::size(kOperatingModeButtons); ++b) {
            const ModeControl& button = kOperatingModeButtons[b];
            const bool on = model.checked(button.control);
            checked += on;
            // A value with no button of its own leaves the buttons as they were.
            const bool expected =
                has_button ? (mode & kOperatingModeMask) == button.bits : before[b];
            fuzz::require(on == expected, "wrong operating mode shown", button.control.text());
        }
        fuzz::require(checked <= 1, "more than one operating mode shown");
        for (const ModeControl& box : kModeFlagBoxes) {
            fuzz::require(model.checked(box.control) == ((mode & box.bits) != 0),
                          "flag box disagrees with its bit", box.control.text());
        }
    }
    fuzz::require_window_texts_valid(model);
    return 0;
}
