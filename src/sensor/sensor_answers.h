// The sensor's answers shown in the window: the readings, the version and serial number, and the
// operating mode. Numbers in the sensor's answers go least significant byte first. The exchange
// engine calls these once an answer's code is known; they never touch the port.
#pragma once

#include <cstdint>

#include "model/window_model.h"
#include "protocol/frame.h"

namespace velkon {

class SensorAnswers {
  public:
    explicit SensorAnswers(WindowModel& model) : m_(model) {}

    // The readings answer (code F0): level, temperature, current value, calibration values,
    // and the mode when a mode command asked for it.
    void show_readings(const Frame& answer);
    // The version answer (code FC): serial number, version, and the controls that version
    // supports enabled.
    void show_version(const Frame& answer);
    // The mode byte shown in the mode controls.
    void show_modes(std::uint8_t mode);

  private:
    WindowModel& m_;
};

}  // namespace velkon
