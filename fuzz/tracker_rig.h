// The tracker's subsystem on a bare window model with quiet boxes, for the tracker's answer
// targets. Showing an answer writes no file, so the program folder is never created.
#pragma once

#include "connection/outbox.h"
#include "files/day_file.h"
#include "fuzz_support.h"
#include "model/window_model.h"
#include "tracker/tracker.h"

namespace velkon::fuzz {

struct TrackerRig {
    WindowModel model = fresh_window();
    QuietDialogs dialogs;
    Outbox outbox{model};
    DayFile day_file{model.vars, dialogs};
    Tracker tracker{model, dialogs, outbox, day_file, kNoFolder};
};

}  // namespace velkon::fuzz
