#include "calibration/calibration_presenter.h"

#include <algorithm>

#include "seams/seams.h"

namespace velkon::calibration {

namespace {

constexpr const char* kRuleText = "Введите время успокоения в секундах и допуск уровня.";

constexpr FieldText kFieldTexts[kFieldCount] = {
    {"portion", ""},      {"tank", "не задан"},
    {"start_volume", ""}, {"settle_seconds", ""},
    {"settle_band", ""},  {"vehicle", "госномер, бак"},
    {"installer", ""},    {"notes", "форма бака, заметки"},
};

constexpr ButtonText kButtonTexts[kButtonCount] = {
    {"start", "Новый сеанс", ""},
    {"load", "Открыть…", ""},
    {"export", "Экспорт CSV…", ""},
    {"platform_export", "Для платформы…",
     "Таблица «уровень — литры» без заголовка, для импорта на сервер"},
    {"report", "Отчёт…", ""},
    {"record", "Записать точку", "Ждёт, пока уровень успокоится, и записывает точку (Enter)"},
    {"record_now", "Записать сейчас", ""},
    {"remeasure", "Перемерить", ""},
    {"edit", "Изменить…", ""},
    {"delete", "Удалить", ""},
    {"undo", "Отменить", "Отменить последнее изменение таблицы (Ctrl+Z)"},
    {"redo", "Повторить", "Повторить отменённое изменение (Ctrl+Y)"},
};

// The user's separator when it is one plain byte; "." for anything a CSV cell cannot hold.
char one_byte(const std::string& decimal) {
    return decimal.size() == 1 && static_cast<unsigned char>(decimal[0]) < 0x80 ? decimal[0] : '.';
}

}  // namespace

FieldText field_text(Field field) {
    return kFieldTexts[static_cast<std::size_t>(field)];
}

ButtonText button_text(Button button) {
    return kButtonTexts[static_cast<std::size_t>(button)];
}

CalibrationPresenter::CalibrationPresenter(const WindowModel& model, const WindowSeams& seams,
                                           WindowActions::ReportWriter write_report)
    : seams_(seams),
      write_report_(std::move(write_report)),
      decimal_(one_byte(seams_.decimal)),
      cal_(model, seams_.program_folder),
      actions_(cal_, model, seams_.dialogs, seams_.clock, seams_.program_folder, decimal_) {
    const SessionForm blank;
    field(Field::Portion) = blank.portion;
    field(Field::StartVolume) = blank.start_volume;
    field(Field::SettleSeconds) = shown(blank.settle_seconds, 0);
    field(Field::SettleBand) = shown(blank.settle_band, 1);
    refresh();
}

std::int64_t CalibrationPresenter::now() const {
    return seams_.clock.monotonic().count();
}

std::string CalibrationPresenter::shown(double value, int decimals) const {
    return format_number(value, decimal_, decimals);
}

void CalibrationPresenter::refresh() {
    const Session& s = cal_.session();
    const auto checks = s.checks();
    view_.rows.clear();
    for (std::size_t i = 0; i < s.points().size(); ++i) {
        const PointCheck& c = checks[i];
        view_.rows.push_back({shown(s.points()[i].volume), shown(s.points()[i].level, 1),
                              c.marks ? mark_words(c.marks) : c.note,
                              c.marks ? c.explanation : c.note, c.marks != 0});
    }
    if (view_.selected && *view_.selected >= view_.rows.size()) {
        view_.selected.reset();
        view_.note.clear();
    }
    view_.file = file_text(cal_);
    view_.live = live_text(cal_);
    view_.wait = wait_text(cal_, decimal_);
    view_.waiting = cal_.waiting();
    view_.active = cal_.active();
    view_.record =
        view_.waiting ? "Отменить ожидание" : std::string(button_text(Button::Record).caption);
    const ButtonStates can = button_states(cal_, view_.selected.has_value());
    const bool by_button[kButtonCount] = {
        true,           true,      can.export_csv, can.platform, can.report, can.record,
        can.record_now, can.point, can.point,      can.point,    can.undo,   can.redo,
    };
    std::copy(std::begin(by_button), std::end(by_button), view_.enabled.begin());
    strip_now_ms_ = now();
    if (listener_) listener_();
}

void CalibrationPresenter::fail(const std::string& text) {
    refresh();
    actions_.fail(text);
}

void CalibrationPresenter::select(std::optional<std::size_t> row) {
    if (row && *row >= cal_.session().points().size()) row.reset();
    view_.selected = row;
    view_.note = row ? point_note(cal_.session(), *row) : std::string();
    refresh();
}

void CalibrationPresenter::after_change(const std::optional<std::string>& error) {
    const auto recorded = cal_.take_recorded();
    select(recorded ? recorded : view_.selected);
    if (error) fail(*error);
}

void CalibrationPresenter::opened() {
    sample();
}

void CalibrationPresenter::closed() {
    cal_.cancel_wait();
    refresh();
}

void CalibrationPresenter::sample() {
    const auto error = cal_.sample(now());
    if (const auto recorded = cal_.take_recorded()) select(recorded);
    if (error) return fail(*error);
    refresh();
}

void CalibrationPresenter::type(Field f, std::string text) {
    field(f) = std::move(text);
}

void CalibrationPresenter::leave(Field f) {
    switch (f) {
        case Field::Portion:
            return apply_portion();
        case Field::SettleSeconds:
        case Field::SettleBand:
            return apply_rule();
        case Field::Vehicle:
        case Field::Installer:
        case Field::Notes:
            return apply_who();
        case Field::Tank:
        case Field::StartVolume:
            return;  // read when a session starts
    }
}

void CalibrationPresenter::click(Button button) {
    // Plain functions rather than pointers to members: GCC's bounds sanitizer misreads an index
    // into an array of member pointers.
    using Action = void (*)(CalibrationPresenter&);
    static constexpr Action kActions[kButtonCount] = {
        [](CalibrationPresenter& p) { p.start(); },
        [](CalibrationPresenter& p) { p.choose_load(); },
        [](CalibrationPresenter& p) { p.choose_export(); },
        [](CalibrationPresenter& p) { p.choose_platform_file(); },
        [](CalibrationPresenter& p) { p.choose_report(); },
        [](CalibrationPresenter& p) { p.record(); },
        [](CalibrationPresenter& p) { p.record_now(); },
        [](CalibrationPresenter& p) { p.remeasure(); },
        [](CalibrationPresenter& p) { p.edit_selected(); },
        [](CalibrationPresenter& p) { p.remove(); },
        [](CalibrationPresenter& p) { p.undo(); },
        [](CalibrationPresenter& p) { p.redo(); },
    };
    const auto index = static_cast<std::size_t>(button);
    if (index < kButtonCount) kActions[index](*this);
}

void CalibrationPresenter::enter() {
    if (!cal_.waiting()) record();
}

// The settling values are texts here, as both windows show them: each must be a number.
void CalibrationPresenter::start() {
    const auto seconds = parse_number(field(Field::SettleSeconds));
    const auto band = parse_number(field(Field::SettleBand));
    if (!seconds || !band) return fail(kRuleText);
    SessionForm form;
    form.portion = field(Field::Portion);
    form.tank = field(Field::Tank);
    form.start_volume = field(Field::StartVolume);
    form.settle_seconds = *seconds;
    form.settle_band = *band;
    form.vehicle = field(Field::Vehicle);
    form.installer = field(Field::Installer);
    form.notes = field(Field::Notes);
    if (actions_.start(form)) return select(std::nullopt);
    refresh();
}

void CalibrationPresenter::load_from(const std::filesystem::path& path) {
    const auto loaded = actions_.load(path);
    if (!loaded) return refresh();
    const SessionForm& form = *loaded;
    field(Field::Portion) = form.portion;
    field(Field::Tank) = form.tank;
    field(Field::StartVolume) = form.start_volume;
    field(Field::SettleSeconds) = shown(form.settle_seconds, 0);
    field(Field::SettleBand) = shown(form.settle_band, 1);
    field(Field::Vehicle) = form.vehicle;
    field(Field::Installer) = form.installer;
    field(Field::Notes) = form.notes;
    // A message about the file before is no longer true.
    select(std::nullopt);
}

void CalibrationPresenter::export_to(const std::filesystem::path& path) {
    if (const auto note = actions_.export_csv(path)) view_.note = *note;
    refresh();
}

void CalibrationPresenter::export_platform_to(const std::filesystem::path& path) {
    if (const auto note = actions_.export_platform(path, view_.platform_choice)) view_.note = *note;
    refresh();
}

void CalibrationPresenter::report_to(const std::filesystem::path& path) {
    apply_who();
    if (const auto note = actions_.report(path, write_report_)) view_.note = *note;
    refresh();
}

void CalibrationPresenter::choose_platform(std::size_t choice) {
    view_.platform_choice = choice < kPlatformChoices.size() ? choice : 0;
    refresh();
}

void CalibrationPresenter::choose_load() {
    if (const auto path = actions_.choose_load(); !path.empty()) load_from(path);
}

void CalibrationPresenter::choose_export() {
    if (const auto path = actions_.choose_export(); !path.empty()) export_to(path);
}

void CalibrationPresenter::choose_platform_file() {
    if (const auto path = actions_.choose_platform(); !path.empty()) export_platform_to(path);
}

void CalibrationPresenter::choose_report() {
    if (const auto path = actions_.choose_report(); !path.empty()) report_to(path);
}

void CalibrationPresenter::record() {
    actions_.toggle_wait();
    refresh();
}

void CalibrationPresenter::record_now() {
    if (const auto error = cal_.record_now()) return fail(*error);
    after_change(std::nullopt);
}

void CalibrationPresenter::remeasure() {
    actions_.remeasure(view_.selected);
    refresh();
}

void CalibrationPresenter::remove() {
    const auto change = actions_.remove(view_.selected);
    if (change.made) return after_change(change.error);
    refresh();
}

// The point's volume and level in two input boxes, each starting with what the table holds.
void CalibrationPresenter::edit_selected() {
    const auto row = view_.selected;
    if (!row || !cal_.active()) return fail("Выберите в таблице точку, которую изменить.");
    const Point point = cal_.session().points()[*row];
    const std::string volume =
        seams_.dialogs.input("Объём, л", "Изменить точку", shown(point.volume));
    if (volume.empty()) return;
    const std::string level =
        seams_.dialogs.input("Уровень", "Изменить точку", shown(point.level, 1));
    if (level.empty()) return;
    const CellReading v = read_cell(volume);
    if (v.error) return fail(*v.error);
    const CellReading l = read_cell(level);
    if (l.error) return fail(*l.error);
    after_change(actions_.edit(*row, {*v.value, *l.value}));
}

void CalibrationPresenter::edit_cell(std::size_t row, Column column, const std::string& text) {
    if (row >= cal_.session().points().size() || column == Column::Check) return refresh();
    Point point = cal_.session().points()[row];
    const CellReading cell = read_cell(text);
    std::optional<std::string> error = cell.error;
    if (cell.value) {
        (column == Column::Volume ? point.volume : point.level) = *cell.value;
        error = actions_.edit(row, point);
    }
    after_change(error);
}

void CalibrationPresenter::undo() {
    if (cal_.can_undo()) after_change(cal_.undo());
}

void CalibrationPresenter::redo() {
    if (cal_.can_redo()) after_change(cal_.redo());
}

void CalibrationPresenter::apply_who() {
    actions_.apply_who(field(Field::Vehicle), field(Field::Installer), field(Field::Notes));
}

// A portion typed while a session runs; a text that is no portion returns to the one in force.
void CalibrationPresenter::apply_portion() {
    if (!cal_.active()) return;
    const PortionReading reading = read_portion(field(Field::Portion));
    const double in_force = cal_.session().info().portion;
    if (reading.portion && *reading.portion == in_force) return;
    std::optional<std::string> error = reading.error;
    if (reading.portion) error = cal_.set_portion(*reading.portion);
    if (error) {
        field(Field::Portion) = shown(cal_.session().info().portion);
        return fail(*error);
    }
    refresh();
}

// The settling fields take effect when they are left; a text that is no number returns to the
// rule in force.
void CalibrationPresenter::apply_rule() {
    const auto seconds = parse_number(field(Field::SettleSeconds));
    const auto band = parse_number(field(Field::SettleBand));
    const SettlingRule in_force = cal_.session().info().rule;
    std::optional<std::string> error;
    if (!seconds || !band) {
        error = kRuleText;
    } else if (SettlingRule{*seconds, *band} != in_force) {
        error = cal_.set_rule({*seconds, *band});
    }
    if (error) {
        field(Field::SettleSeconds) = shown(in_force.seconds, 0);
        field(Field::SettleBand) = shown(in_force.band, 1);
        return fail(*error);
    }
    refresh();
}

std::vector<chart::Shape> CalibrationPresenter::plot(double width, double height) const {
    return chart::table_plot(cal_.session(), view_.selected, width, height, decimal_);
}

std::vector<chart::Shape> CalibrationPresenter::strip(double width, double height) const {
    std::optional<chart::StripBand> band;
    const SettlingState s = cal_.settling();
    if (cal_.waiting() && s.readings > 0) {
        const SettlingRule& rule = cal_.session().info().rule;
        band = chart::StripBand{s.mean, rule.band, rule.seconds, s.settled};
    }
    return chart::level_strip(cal_.history(), strip_now_ms_, band, width, height, decimal_);
}

}  // namespace velkon::calibration
