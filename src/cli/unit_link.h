// One request at a time to the sensor or the unit, and its answer, over the program's serial
// driver: the request is written, the driver reads until the line has been silent for 20 ms
// after the last byte (256 ms when nothing comes at all), and an answer is taken only with its
// check byte matching, counted from its own first byte (an echo of the request in front of it,
// as half-duplex adapters give, is taken off). A device that stays silent or answers damaged is
// asked again, three times in all. No timer paces the exchange: the next request goes out as soon
// as an answer is in.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/frame.h"
#include "serial/serial_port.h"

namespace velkon::cli {

inline constexpr int kAttempts = 3;

struct Exchange {
    enum class Outcome {
        Answered,
        Silent,      // no byte came, every time
        Damaged,     // bytes came, but never an intact frame
        Unexpected,  // an intact frame with another code
        WriteFailed,
    };
    Outcome outcome = Outcome::Silent;
    Frame answer;           // the intact answer when Answered
    std::uint8_t code = 0;  // Unexpected: the code that came

    explicit operator bool() const { return outcome == Outcome::Answered; }
    // The failure in plain Russian ("" when answered).
    std::string message() const;
};

class UnitLink {
  public:
    explicit UnitLink(SerialPort& port) : port_(port) {}

    // Sends `request` and waits for an intact answer with `code` of at least `min_size` bytes
    // (check byte included).
    Exchange ask(const Frame& request, std::uint8_t code, std::size_t min_size);

    int attempts_made() const { return attempts_; }

  private:
    SerialPort& port_;
    int attempts_ = 0;
};

}  // namespace velkon::cli
