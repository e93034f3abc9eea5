// The tracker's subsystem on a bare window model with quiet boxes, for the tracker's answer
// targets. Showing an answer writes no file, so the program folder is never created.
#pragma once

#include <chrono>
#include <string>

#include "connection/outbox.h"
#include "files/day_file.h"
#include "fuzz_support.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "tracker/tracker.h"

namespace velkon::fuzz {

// Answers never read the clock; the outbox only needs one.
class StillClock : public Clock {
  public:
    std::string now_text() override { return "01.01.2026 00:00:00"; }
    std::chrono::milliseconds monotonic() override { return {}; }
};

struct TrackerRig {
    WindowModel model = fresh_window();
    QuietDialogs dialogs;
    StillClock clock;
    Outbox outbox{model, clock};
    DayFile day_file{model.vars, dialogs};
    Tracker tracker{model, dialogs, outbox, day_file, kNoFolder};
};

}  // namespace velkon::fuzz
