// The sensor's readings answer (code F0) shown in the window, whatever its length and content.
// The mode byte is shown too, as after a mode command.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "sensor/mode_byte.h"
#include "sensor/sensor_answers.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WindowModel model = fuzz::fresh_window();
    model.vars.mode_yes = true;
    model.vars.Ur_progressBar = 1024;
    SensorAnswers answers(model);
    answers.show_readings(Frame(reinterpret_cast<const char*>(data), size));

    fuzz::require_window_texts_valid(model);
    const Control& bar = model[ctl::ProgressBar1];
    fuzz::require(bar.value >= 0 && bar.value <= bar.maximum, "level bar out of its range");
    int modes_checked = 0;
    for (const ModeControl& button : kOperatingModeButtons)
        modes_checked += model.checked(button.control);
    fuzz::require(modes_checked <= 1, "more than one operating mode shown");
    return 0;
}
