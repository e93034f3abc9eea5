// The sensor's version answer (code FC): serial number, version digits and the controls the
// version enables, whatever the answer's length and content.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "sensor/sensor_answers.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WindowModel model = fuzz::fresh_window();
    SensorAnswers answers(model);
    answers.show_version(Frame(reinterpret_cast<const char*>(data), size));
    fuzz::require_window_texts_valid(model);
    return 0;
}
