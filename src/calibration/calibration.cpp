#include "calibration/calibration.h"

#include <charconv>
#include <cmath>

#include "model/window_model.h"

namespace velkon::calibration {

namespace {

std::optional<int> whole_number(const std::string& text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

}  // namespace

Feed read_feed(const WindowModel& model) {
    Feed f;
    f.full_scale = model.vars.Ur_progressBar > 1 ? model.vars.Ur_progressBar : 1024;
    const std::string& serial = model.text(ctl::sn);
    if (const auto n = whole_number(serial); n && *n > 0) f.serial = serial;
    // Placeholders of a closed link or a page not read yet are no version and no IMEI.
    const std::string& version = model.text(ctl::vv);
    if (!version.empty() && version.find_first_not_of("-") != std::string::npos)
        f.firmware = version;
    const std::string& imei = model.text(ctl::imei);
    if (imei.size() >= 14 && imei.find_first_not_of("0123456789") == std::string::npos)
        f.imei = imei;
    if (model.vars.no_data) {
        f.state = Feed::State::Silent;
        return f;
    }
    if (const auto level = whole_number(model.text(ctl::uroven)); level && *level >= 0) {
        f.state = Feed::State::Reading;
        f.level = *level;
    }
    return f;
}

Calibration::Calibration(const WindowModel& model, std::filesystem::path program_folder)
    : model_(model), folder_(std::move(program_folder)) {
    feed_ = read_feed(model_);
}

std::optional<std::string> Calibration::start(SessionInfo info) {
    Session session(std::move(info));
    const std::string started = session.info().started;
    return begin(std::move(session), started);
}

std::optional<std::string> Calibration::resume(Session session, const std::string& now_text) {
    return begin(std::move(session), now_text);
}

// A new or loaded session goes into a file of its own, named for `time_text`, before it becomes
// the current one: a session that cannot be saved is not started.
std::optional<std::string> Calibration::begin(Session session, const std::string& time_text) {
    if (const auto why = check_info(session.info())) return why;
    const std::filesystem::path file = new_session_path(folder_, time_text, session.info().serial);
    if (const auto error = write_session(folder_, file, session_text(session))) return error;
    session_ = std::move(session);
    file_ = file;
    active_ = true;
    cancel_wait();
    recorded_.reset();
    undo_.clear();
    redo_.clear();
    detector_.set_rule(session_.info().rule);
    return std::nullopt;
}

std::optional<std::string> Calibration::sample(std::int64_t now_ms) {
    feed_ = read_feed(model_);
    if (model_.vars.levels_shown != levels_seen_) {
        levels_seen_ = model_.vars.levels_shown;
        fresh_at_ms_ = now_ms;
        fresh_ = true;
    }
    if (feed_.state == Feed::State::Reading && (!fresh_ || now_ms - fresh_at_ms_ > kStaleMs)) {
        feed_.state = Feed::State::NoData;
    }
    if (feed_.state != Feed::State::Reading) {
        detector_.reset();
        return std::nullopt;
    }
    history_.push_back({now_ms, feed_.level});
    while (!history_.empty() && history_.front().time_ms < now_ms - kHistoryMs)
        history_.pop_front();
    detector_.add(now_ms, feed_.level);
    if (active_ && session_.info().full_scale != feed_.full_scale && session_.points().empty()) {
        // Until the first point the scale follows the sensor's range setting.
        session_.info().full_scale = feed_.full_scale;
    }
    if (!waiting_ || !active_) return std::nullopt;
    const SettlingState s = detector_.state();
    if (!s.settled) return std::nullopt;
    waiting_ = false;
    return record(s.mean);
}

void Calibration::wait_for_point(std::optional<std::size_t> remeasure) {
    if (!active_) return;
    remeasure_ = remeasure && *remeasure < session_.points().size() ? remeasure : std::nullopt;
    waiting_ = true;
    detector_.reset();
}

std::optional<std::string> Calibration::record_now() {
    if (!active_) return "Сначала начните сеанс тарировки.";
    if (feed_.state != Feed::State::Reading) return "Нет показаний датчика: точку записать нельзя.";
    waiting_ = false;
    return record(feed_.level);
}

std::optional<std::string> Calibration::record(double level) {
    // Tenths of a unit are all a mean of whole readings can tell; the file keeps them exactly.
    level = std::round(level * 10.0) / 10.0;
    const Session before = session_;
    if (remeasure_ && *remeasure_ < session_.points().size()) {
        Point p = session_.points()[*remeasure_];
        follow_last_recorded(p, {p.volume, level});
        p.level = level;
        recorded_ = session_.replace(*remeasure_, p);
    } else {
        const Point point{session_.next_volume(), level};
        recorded_ = session_.add(point);
        session_.set_last_recorded(point);
    }
    remeasure_.reset();
    if (auto error = save()) {
        session_ = before;
        recorded_.reset();
        return error;
    }
    changed({before.points(), before.last_recorded()});
    return std::nullopt;
}

void Calibration::follow_last_recorded(const Point& was, const Point& now) {
    if (session_.last_recorded() == was) session_.set_last_recorded(now);
}

void Calibration::changed(Snapshot before) {
    undo_.push_back(std::move(before));
    if (undo_.size() > kUndoDepth) undo_.erase(undo_.begin());
    redo_.clear();
}

std::optional<std::string> Calibration::step(std::vector<Snapshot>& from,
                                             std::vector<Snapshot>& to) {
    if (!active_ || from.empty()) return "Нечего отменять или повторять.";
    const Session before = session_;
    waiting_ = false;
    remeasure_.reset();
    session_.set_points(from.back().points);
    session_.set_last_recorded(from.back().last_recorded);
    if (auto error = save()) {
        session_ = before;
        return error;
    }
    from.pop_back();
    to.push_back({before.points(), before.last_recorded()});
    return std::nullopt;
}

std::optional<std::string> Calibration::undo() {
    return step(undo_, redo_);
}

std::optional<std::string> Calibration::redo() {
    return step(redo_, undo_);
}

std::optional<std::size_t> Calibration::take_recorded() {
    auto r = recorded_;
    recorded_.reset();
    return r;
}

std::optional<std::string> Calibration::edit(std::size_t index, Point point, bool shift_later) {
    if (!active_ || index >= session_.points().size()) return "Нет такой точки.";
    if (!(point.volume >= 0.0) || point.volume > 1'000'000.0)
        return "Объём должен быть от 0 до 1000000 л.";
    if (!(point.level >= 0.0) || point.level > 65535.0) return "Уровень должен быть от 0 до 65535.";
    const Session before = session_;
    waiting_ = false;
    remeasure_.reset();
    if (shift_later) {
        const double delta = point.volume - session_.points()[index].volume;
        std::vector<Point> points = session_.points();
        const auto& last = session_.last_recorded();
        const auto from = std::find(points.begin(), points.end(), last.value_or(Point{-1, -1}));
        points[index] = point;
        // The later points hold more than the edited one did, so none goes below zero.
        for (std::size_t k = index + 1; k < points.size(); ++k) points[k].volume += delta;
        if (from != points.end()) session_.set_last_recorded(*from);
        session_.set_points(points);
        // The edited point's place in the new order: the first one equal to it.
        const auto& now = session_.points();
        for (std::size_t k = 0; k < now.size(); ++k)
            if (now[k] == point) {
                recorded_ = k;
                break;
            }
    } else {
        follow_last_recorded(session_.points()[index], point);
        recorded_ = session_.replace(index, point);
    }
    if (auto error = save()) {
        session_ = before;
        recorded_.reset();
        return error;
    }
    changed({before.points(), before.last_recorded()});
    return std::nullopt;
}

std::optional<std::string> Calibration::remove(std::size_t index) {
    if (!active_ || index >= session_.points().size()) return "Нет такой точки.";
    const Session before = session_;
    waiting_ = false;
    remeasure_.reset();
    session_.remove(index);
    if (auto error = save()) {
        session_ = before;
        return error;
    }
    changed({before.points(), before.last_recorded()});
    return std::nullopt;
}

std::optional<std::string> Calibration::set_rule(SettlingRule rule) {
    if (const auto why = check_rule(rule)) return why;
    const Session before = session_;
    session_.info().rule = rule;
    detector_.set_rule(rule);
    if (!active_) return std::nullopt;
    if (auto error = save()) {
        session_ = before;
        return error;
    }
    return std::nullopt;
}

std::optional<std::string> Calibration::set_who(std::string vehicle, std::string installer,
                                                std::string notes) {
    SessionInfo& i = session_.info();
    if (i.vehicle == vehicle && i.installer == installer && i.notes == notes) return std::nullopt;
    const Session before = session_;
    i.vehicle = std::move(vehicle);
    i.installer = std::move(installer);
    i.notes = std::move(notes);
    if (!active_) return std::nullopt;
    if (auto error = save()) {
        session_ = before;
        return error;
    }
    return std::nullopt;
}

std::optional<std::string> Calibration::set_portion(double portion) {
    SessionInfo info = session_.info();
    info.portion = portion;
    if (const auto why = check_info(info)) return why;
    const Session before = session_;
    session_.info().portion = portion;
    if (!active_) return std::nullopt;
    if (auto error = save()) {
        session_ = before;
        return error;
    }
    return std::nullopt;
}

std::optional<std::string> Calibration::export_csv(const std::filesystem::path& path,
                                                   char decimal) const {
    return write_export(path, csv_text(session_, decimal));
}

std::optional<std::string> Calibration::export_platform(const std::filesystem::path& path,
                                                        const PlatformFormat& format) const {
    const PlatformText table = platform_table(session_, format);
    if (!table.error.empty()) return table.error;
    return write_export(path, table.text);
}

std::optional<std::string> Calibration::save() const {
    return write_session(folder_, file_, session_text(session_));
}

std::filesystem::path Calibration::suggested_file(const std::filesystem::path& program_folder,
                                                  const std::string& tail,
                                                  const std::string& extension) const {
    std::filesystem::path suggestion = program_folder / kSessionFolder;
    if (!file_.empty()) suggestion = file_.parent_path() / (file_.stem().string() + tail);
    suggestion += extension;
    return suggestion;
}

PlotCorner table_plot_corner(const Session& session, double width_px, double height_px) {
    const int full_scale = session.info().full_scale;
    double volume = session.info().tank_volume.value_or(0.0);
    double level = 0.0;
    for (const Point& p : session.points()) {
        volume = std::max(volume, p.volume);
        level = std::max(level, p.level);
    }
    const double pad_x = 1.0 + 9.0 / std::max(20.0, width_px);
    const double pad_y = 1.0 + 9.0 / std::max(20.0, height_px);
    PlotCorner corner;
    corner.volume = volume > 0 ? volume * pad_x : 100.0;
    const double highest = level;
    level = std::max(level * 1.05, session.points().empty() ? double(full_scale) : 10.0);
    corner.level = std::max(std::min(level, full_scale * 1.02), highest * pad_y);
    return corner;
}

std::vector<double> axis_ticks(double low, double high, int wanted) {
    double step = 1.0;
    const double raw = (high - low) / std::max(1, wanted);
    if (raw > 0) {
        const double power = std::pow(10.0, std::floor(std::log10(raw)));
        step = 10.0 * power;
        for (const double m : {5.0, 2.0, 1.0})
            if (raw <= m * power) step = m * power;
    }
    std::vector<double> ticks;
    for (double t = std::ceil(low / step) * step; t <= high + 1e-9 && ticks.size() < 1000;
         t += step)
        ticks.push_back(t);
    return ticks;
}

}  // namespace velkon::calibration
