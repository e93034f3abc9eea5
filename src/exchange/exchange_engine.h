// The exchange tick: every 500 ms one request goes out and the answer to the previous one is
// judged and handed, by its code, to whoever shows it.
//
// The tick is split around the port so that the window's thread never waits for the line:
// start_tick() does everything up to the read and hands the read and the write of the pending
// request to the PortIoRunner; the runner brings the outcome back on the window's thread, where
// the second half judges the answer. Seen from the port and the window the order is the same as
// one uninterrupted tick: echo, read, write, lamp, judge, flush. A tick whose link was closed
// or lost meanwhile sends nothing and is dropped.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "connection/connection_control.h"
#include "connection/outbox.h"
#include "model/window_model.h"
#include "protocol/answer.h"
#include "seams/seams.h"
#include "sensor/sensor_answers.h"
#include "serial/serial_port.h"
#include "tracker/tracker.h"

namespace velkon {

// A read that held no intact answer says so: the values on the page stop changing, and the
// status line must not go on saying that data came.
inline constexpr std::string_view kDamagedSensorAnswer = "Ответ датчика повреждён и отброшен.";
inline constexpr std::string_view kNoIntactAnswer =
    "Ответа нет: приняты посторонние байты (проверьте устройство и скорость порта).";
// A whole frame that does not answer the request sent (a late answer, another device): shown
// nowhere, since its values would be taken for the requested ones. The code follows.
inline constexpr std::string_view kUnexpectedAnswer = "Пришёл ответ не на этот запрос (код ";

class ExchangeEngine {
  public:
    struct Parts {
        ConnectionControl& connection;
        SensorAnswers& sensor;
        Tracker& tracker;
    };

    ExchangeEngine(WindowModel& model, SerialPort& port, Dialogs& dialogs, PortIoRunner& port_io,
                   Outbox& outbox, Parts parts)
        : m_(model),
          port_(port),
          dialogs_(dialogs),
          port_io_(port_io),
          outbox_(outbox),
          parts_(parts) {}

    // The exchange timer's tick. Ignored while the previous tick is still in progress (its read
    // in flight, or one of its own message boxes open): ticks never overlap.
    void start_tick();
    bool tick_in_progress() const { return busy_; }

  private:
    void finish_tick(std::uint64_t link, TickIo io);
    void dispatch_answer(const Frame& answer, std::string_view request);
    void judge_answer(const JudgedRead& read, std::string_view answered);
    void show_unknown_answer(std::uint8_t code);

    WindowModel& m_;
    SerialPort& port_;
    Dialogs& dialogs_;
    PortIoRunner& port_io_;
    Outbox& outbox_;
    Parts parts_;
    bool busy_ = false;
    Frame request_;  // the frame the tick in progress sends
    // The frames the last ticks sent on `answered_link_`, newest first: the newest is what this
    // tick's read answers, and any of them may come back in front of the answer.
    SentRequests sent_;
    std::uint64_t answered_link_ = 0;
    // Answer codes without a row whose box has been shown on `unknown_link_`: a device that
    // keeps answering so gets the box once, not every tick.
    std::bitset<256> unknown_shown_;
    // The sensor's version is to be asked at the next idle request; asked once per link.
    bool version_due_ = false;
    std::uint64_t version_link_ = 0;
    int silent_ticks_ = 0;  // in a row, up to the last answered tick
    std::uint64_t unknown_link_ = 0;
};

}  // namespace velkon
