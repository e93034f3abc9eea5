// The pending request `wrs`: the one frame the next exchange tick sends. Commands never touch
// the port; they leave their frame here. Storing a frame replaces whatever was pending.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/window_model.h"
#include "protocol/frame.h"
#include "seams/seams.h"

namespace velkon {

inline constexpr std::string_view kCommandNotSent =
    "Команда не отправлена: связь с устройством закрыта.";

class Outbox {
  public:
    Outbox(WindowModel& model, Clock& clock) : m_(model), clock_(clock) {}

    const Frame& pending() const { return m_.vars.wrs; }
    void put(Frame frame) { m_.vars.wrs = std::move(frame); }
    void clear() { m_.vars.wrs.clear(); }
    // Takes the pending frame out, leaving nothing pending.
    Frame take() {
        Frame frame = std::move(m_.vars.wrs);
        m_.vars.wrs.clear();
        return frame;
    }

    // Shows `frame` in the traffic monitor as the request about to go out.
    void echo(const Frame& frame);
    // put() and echo() of the same frame, as most commands do.
    void put_and_echo(Frame frame);

    // For a command that asked the user something first: true when the link is still the one
    // the command was given on (`link()` when it began). When the link was closed or lost while
    // the question was open the command must queue nothing, and the status line says so: its
    // frame would otherwise go to whatever device is opened next.
    bool still_on(std::uint64_t link);

    // The notice of a dropped command stays in the status line for kNoticeTime or until the
    // user does something, whichever comes first: the answers on a newly opened link, or the
    // port scan's hints while none is open, would otherwise replace it before anyone could read
    // it. Measured by the clock, not by ticks: no tick runs while the link is closed.
    static constexpr std::chrono::milliseconds kNoticeTime{5000};
    // Puts the notice back while it is still held (at the end of every tick and at every port
    // scan); true when it is.
    bool hold_notice();
    void release_notice() { notice_since_.reset(); }

    // Which link a tick or a command belongs to: every open and every close starts a new one,
    // so work begun on a link that has gone can tell.
    // Read by the port I/O runner's thread too.
    std::uint64_t link() const { return link_.load(); }
    void next_link() { ++link_; }

  private:
    void show_notice();

    WindowModel& m_;
    Clock& clock_;
    std::atomic<std::uint64_t> link_{0};
    std::optional<std::chrono::milliseconds> notice_since_;  // when the held notice was set
};

}  // namespace velkon
