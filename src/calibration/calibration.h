// The tank calibration at work: feeds the settling detector from the level the window shows,
// records points when the level has settled (or at once when asked), keeps the session file up to
// date after every change, and remembers the last minutes of raw readings for the strip chart.
//
// The level comes from the readings the exchange already polls: the level label and the status
// line of the window model, sampled by the front end's own timer. While the status line says the
// sensor is silent, or the level label holds no number (link closed, no readings yet), the
// session pauses: a wait in progress starts again from the next reading, so a point is never
// taken across a gap.
//
// Time is given with every call (milliseconds from any fixed start), so tests run on a fixed
// clock.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "calibration/platform_export.h"
#include "calibration/session.h"
#include "calibration/session_file.h"
#include "calibration/settling.h"

namespace velkon {
class WindowModel;
}

namespace velkon::calibration {

inline constexpr std::string_view kSilentStatus = "Датчик не отвечает";

// What the window shows about the sensor right now: silent while the exchange finds the line
// silent, a reading while levels keep coming.
struct Feed {
    enum class State { Reading, Silent, NoData };
    State state = State::NoData;
    int level = 0;
    int full_scale = 1024;
    std::string serial;  // empty while unknown
    std::string firmware;
    std::string imei;
};
Feed read_feed(const WindowModel& model);

class Calibration {
  public:
    struct RawReading {
        std::int64_t time_ms;
        int level;
    };
    // How long the strip chart looks back.
    static constexpr std::int64_t kHistoryMs = 3 * 60 * 1000;

    Calibration(const WindowModel& model, std::filesystem::path program_folder);

    // Starts a new session (its file is created at once). Returns why not, or nothing.
    std::optional<std::string> start(SessionInfo info);
    // Goes on with a loaded session; it is saved to a new file of its own from now on, so the
    // file it came from is never overwritten.
    std::optional<std::string> resume(Session session, const std::string& now_text);
    bool active() const { return active_; }
    const Session& session() const { return session_; }
    const std::filesystem::path& file() const { return file_; }

    // Takes one look at the window; records the awaited point once the level has settled.
    // Returns the error of a save, if one failed.
    std::optional<std::string> sample(std::int64_t now_ms);

    // «Записать точку»: waits for settling, then records the next volume (or, when `remeasure` is
    // given, the level of that point again). Only readings from now on count.
    void wait_for_point(std::optional<std::size_t> remeasure = std::nullopt);
    void cancel_wait() {
        waiting_ = false;
        remeasure_.reset();
    }
    bool waiting() const { return waiting_; }
    std::optional<std::size_t> remeasuring() const { return remeasure_; }
    // «Записать сейчас»: the latest reading, at once. Fails while no reading is at hand.
    std::optional<std::string> record_now();
    // The index of the point recorded last, once, for the window to select it.
    std::optional<std::size_t> take_recorded();

    // A point changed by hand. With `shift_later`, the points after it move by as many litres as
    // its volume did, so the cumulative volumes poured after a corrected point stay true.
    std::optional<std::string> edit(std::size_t index, Point point, bool shift_later = false);

    // Every change of the table (record, re-measure, edit, delete) can be taken back and redone.
    bool can_undo() const { return !undo_.empty(); }
    bool can_redo() const { return !redo_.empty(); }
    std::optional<std::string> undo();
    std::optional<std::string> redo();
    std::optional<std::string> remove(std::size_t index);
    // A new settling rule (also kept in the session). Restarts a wait in progress.
    std::optional<std::string> set_rule(SettlingRule rule);
    std::optional<std::string> set_portion(double portion);
    // Whose tank, who calibrated it, notes on its shape: for the report.
    std::optional<std::string> set_who(std::string vehicle, std::string installer,
                                       std::string notes);

    std::optional<std::string> export_csv(const std::filesystem::path& path, char decimal) const;
    // The table for a tracking platform; refused whole when it does not rise.
    std::optional<std::string> export_platform(const std::filesystem::path& path,
                                               const PlatformFormat& format) const;

    // The name a file made from this session is offered under: the session file's, with `tail`
    // and `extension`, beside it; before the session has a file, the sessions folder's name in
    // the program folder.
    std::filesystem::path suggested_file(const std::filesystem::path& program_folder,
                                         const std::string& tail,
                                         const std::string& extension) const;

    const Feed& feed() const { return feed_; }
    bool paused() const { return feed_.state != Feed::State::Reading; }
    SettlingState settling() const { return detector_.state(); }
    const std::deque<RawReading>& history() const { return history_; }

  private:
    std::optional<std::string> begin(Session session, const std::string& time_text);
    std::optional<std::string> record(double level);
    std::optional<std::string> save() const;

    const WindowModel& model_;
    std::filesystem::path folder_;
    Session session_;
    std::filesystem::path file_;
    bool active_ = false;
    SettlingDetector detector_;
    Feed feed_;
    // A level shown longer ago than this is no reading: the page keeps the last level when
    // answers stop being intact, and a settled mean of a frozen level would be recorded.
    static constexpr std::int64_t kStaleMs = 1500;
    std::uint64_t levels_seen_ = 0;
    std::int64_t fresh_at_ms_ = 0;
    bool fresh_ = false;
    bool waiting_ = false;
    std::optional<std::size_t> remeasure_;
    std::optional<std::size_t> recorded_;
    std::deque<RawReading> history_;
    // The table and the point the next pour counts from, as they were before a change.
    struct Snapshot {
        std::vector<Point> points;
        std::optional<Point> last_recorded;
    };
    Snapshot snapshot() const { return {session_.points(), session_.last_recorded()}; }
    std::vector<Snapshot> undo_;
    std::vector<Snapshot> redo_;
    static constexpr std::size_t kUndoDepth = 1000;
    // Puts `before` on the undo stack after a change that was saved.
    void changed(Snapshot before);
    std::optional<std::string> step(std::vector<Snapshot>& from, std::vector<Snapshot>& to);
    // A point changed by hand or measured again keeps its part as the one the next pour counts
    // from: a leak's point corrected to what the tank holds is where the next pour starts.
    void follow_last_recorded(const Point& was, const Point& now);
};

// The top corner of the table's plot (volume across, level up; both start at 0), for a plot
// area of the given size in pixels: room for a whole point (radius up to 6 px) beyond the fullest
// volume and the highest level, so a point at the tank's volume or at the scale's top is not cut
// by the frame; the scale's top when the table is empty.
struct PlotCorner {
    double volume = 100;
    double level = 0;
};
PlotCorner table_plot_corner(const Session& session, double width_px, double height_px);

// The grid lines of a plot's axis over [low, high]: multiples of a round step (1, 2 or 5 times
// a power of ten) giving about `wanted` intervals.
std::vector<double> axis_ticks(double low, double high, int wanted);

// The level range the strip chart shows, in whole levels: the readings of the last minute (so
// the slosh of the latest pour is large enough to see; older steps run off the chart) and the
// settling band while a point waits, padded by a tenth (at least 3).
struct StripRange {
    double low = 0;
    double high = 0;
};
template <typename Readings>
StripRange strip_range(const Readings& readings, std::int64_t now_ms,
                       std::optional<StripRange> band) {
    constexpr std::int64_t kFitMs = 60'000;
    double low = 0, high = 10;
    bool first = true;
    for (const Calibration::RawReading& r : readings) {
        if (r.time_ms < now_ms - kFitMs) continue;
        low = first ? r.level : std::min<double>(low, r.level);
        high = first ? r.level : std::max<double>(high, r.level);
        first = false;
    }
    if (band) {
        low = std::min(low, band->low);
        high = std::max(high, band->high);
    }
    const double pad = std::max(3.0, (high - low) * 0.1);
    return {std::floor(low - pad), std::ceil(high + pad)};
}

}  // namespace velkon::calibration
