// The pending request `wrs`: the one frame the next exchange tick sends. Commands never touch
// the port; they leave their frame here. Storing a frame replaces whatever was pending.
#pragma once

#include <cstdint>

#include "model/window_model.h"
#include "protocol/frame.h"

namespace velkon {

class Outbox {
  public:
    explicit Outbox(WindowModel& model) : m_(model) {}

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

    // Which link a tick or a command belongs to: every open and every close starts a new one,
    // so work begun on a link that has gone can tell.
    std::uint64_t link() const { return link_; }
    void next_link() { ++link_; }

  private:
    WindowModel& m_;
    std::uint64_t link_ = 0;
};

}  // namespace velkon
