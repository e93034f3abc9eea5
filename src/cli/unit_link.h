// One request at a time to the sensor or the unit, and its answer, over the program's serial
// driver: the request is written and its answer awaited as long as the window would (one tick,
// 500 ms, unless the user sets another wait); the answer counts only with its check byte
// matching, whole and alone, of the kind asked for (copies of requests in front of it, as
// half-duplex adapters and repeaters give, are taken off; see protocol/answer.h). No timer paces
// the exchange: the next request goes out as soon as an answer is in.
//
// A question (readings, configuration, IMEI, live data) changes nothing in the unit, so one that
// stays unanswered is asked again, three times in all. A copy asked again may still be answered
// late: the link counts the copies whose answers may still come and, before its next request,
// listens until the line has been quiet for a whole wait, so a late answer is never taken for the
// answer to the next request.
//
// A write changes the unit and goes out once (send_once); whether a write that got no
// acknowledgement in time may go again is the caller's decision, after settle() has listened for
// a late acknowledgement and a read has shown what the unit holds.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "protocol/answer.h"
#include "protocol/codes.h"
#include "protocol/frame.h"
#include "serial/serial_port.h"

namespace velkon::cli {

inline constexpr int kAttempts = 3;
// The window's tick: how long it gives an answer.
inline constexpr std::chrono::milliseconds kTickWait{500};

struct Exchange {
    enum class Outcome {
        Answered,
        Silent,   // no byte came, every time
        Damaged,  // bytes came, but never an intact frame
        // The start of an answer of the kind asked for came, and the wait ended before the rest:
        // a unit slower than the wait, not a damaged line.
        TooSlow,
        Unexpected,  // an intact frame with another code
        WriteFailed,
    };
    Outcome outcome = Outcome::Silent;
    Frame answer;                       // the intact answer when Answered
    std::uint8_t code = 0;              // Unexpected: the code that came
    int asked = 0;                      // copies of the request sent
    std::chrono::milliseconds wait{0};  // how long each copy was given

    explicit operator bool() const { return outcome == Outcome::Answered; }
    // The failure in plain Russian ("" when answered).
    std::string message() const;
};

// Whether `bytes` hold, anywhere, an intact frame of `size` bytes with answer `code`.
bool holds_frame(const std::string& bytes, std::uint8_t code, std::size_t size);

class UnitLink {
  public:
    explicit UnitLink(SerialPort& port, std::chrono::milliseconds wait = kTickWait)
        : port_(port), wait_(wait) {}

    // Sends the question `request` (up to three times) and waits for an intact answer with
    // `code` of at least `min_size` bytes (check byte included).
    Exchange ask(const Frame& request, std::uint8_t code, std::size_t min_size);

    // Sends `request` once and waits one wait for its answer.
    Exchange send_once(const Frame& request, std::uint8_t code, std::size_t min_size);

    // Listens while answers to earlier copies may still come: until the line has been silent for
    // a whole wait and the longest the unit was seen to take. Returns what came (empty when nothing
    // was outstanding or nothing came).
    std::string settle();

    int attempts_made() const { return attempts_; }

  private:
    Exchange exchange(const Frame& request, std::uint8_t code, std::size_t min_size, int copies);
    // One copy: write, then read until the answer is in or the wait is over.
    Exchange one_copy(const Frame& request, std::uint8_t code, std::size_t min_size);

    SerialPort& port_;
    std::chrono::milliseconds wait_;
    int attempts_ = 0;
    int unanswered_ = 0;  // copies sent whose answers have not come and may still come
    SentRequests sent_;   // what an adapter may hand back in front of an answer
    // The longest the unit has been seen to take, beyond the wait, when it answered late.
    std::chrono::milliseconds latency_{0};
};

}  // namespace velkon::cli
