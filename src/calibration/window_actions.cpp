#include "calibration/window_actions.h"

#include <cmath>

#include "files/file_error.h"
#include "model/window_model.h"
#include "seams/seams.h"

namespace velkon::calibration {

ButtonStates button_states(const Calibration& calibration, bool point_selected) {
    const bool active = calibration.active();
    const std::size_t points = calibration.session().points().size();
    ButtonStates b;
    b.record = active;
    b.record_now = active && !calibration.paused();
    b.point = active && point_selected;
    b.export_csv = active && points > 0;
    b.platform = active && points >= 2;
    b.report = active && points > 0;
    b.undo = calibration.can_undo();
    b.redo = calibration.can_redo();
    return b;
}

std::string live_text(const Calibration& calibration) {
    const Feed& feed = calibration.feed();
    switch (feed.state) {
        case Feed::State::Reading:
            return "Уровень " + std::to_string(feed.level) + " (шкала 0…" +
                   std::to_string(feed.full_scale - 1) + ")";
        case Feed::State::Silent:
            return "Пауза: " + std::string(kSilentStatus);
        case Feed::State::NoData:
            break;
    }
    return "Пауза: нет показаний датчика (откройте порт на главном окне)";
}

std::string wait_text(const Calibration& calibration, char decimal) {
    const auto shown = [decimal](double value, int decimals = 3) {
        return format_number(value, decimal, decimals);
    };
    const Session& session = calibration.session();
    if (!calibration.active()) return {};
    if (calibration.waiting() && calibration.paused())
        return "Ожидание прервано: оно начнётся заново, когда датчик ответит.";
    if (calibration.waiting()) {
        const SettlingState s = calibration.settling();
        const auto remeasured = calibration.remeasuring();
        const std::string what =
            remeasured ? "Перемер точки " + shown(session.points()[*remeasured].volume) + " л"
                       : "Точка " + shown(session.next_volume()) + " л";
        return what + ": ждём успокоения, осталось " +
               std::to_string(static_cast<int>(std::ceil(s.remaining))) + " с; разброс ±" +
               shown(s.spread, 1) + " (допуск ±" + shown(session.info().rule.band, 1) + ")";
    }
    if (session.points().empty())
        return "Первая точка: " + shown(session.next_volume()) +
               " л, бак до первой порции. Нажмите «Записать точку» (Enter).";
    return "Следующая точка: " + shown(session.next_volume()) +
           " л. Долейте порцию и нажмите «Записать точку» (Enter).";
}

std::string file_text(const Calibration& calibration) {
    if (calibration.active()) return "Файл сеанса: " + path_text(calibration.file());
    return "Сеанс не начат: задайте порцию и нажмите «Новый сеанс» или откройте сохранённую "
           "таблицу.";
}

std::string point_note(const Session& session, std::size_t row) {
    const auto checks = session.checks();
    if (row >= checks.size()) return {};
    return checks[row].marks ? checks[row].explanation : checks[row].note;
}

WindowActions::WindowActions(Calibration& calibration, const WindowModel& model, Dialogs& dialogs,
                             Clock& clock, std::filesystem::path program_folder, char decimal)
    : cal_(calibration),
      model_(model),
      dialogs_(dialogs),
      clock_(clock),
      folder_(std::move(program_folder)),
      decimal_(decimal) {}

void WindowActions::fail(const std::string& text) const {
    dialogs_.message(text, Dialogs::Icon::Exclamation, std::string(kWindowTitle));
}

bool WindowActions::ask(const std::string& text) const {
    return dialogs_.yes_no_titled(text, std::string(kWindowTitle));
}

bool WindowActions::has_points() const {
    return cal_.active() && !cal_.session().points().empty();
}

bool WindowActions::start(const SessionForm& form) {
    const FormReading read = read_form(form);
    if (read.error) {
        fail(*read.error);
        return false;
    }
    SessionInfo info = read.info;
    if (has_points() && !ask("Начать новый сеанс? Текущая таблица сохранена в файле «" +
                             path_text(cal_.file().filename()) + "»."))
        return false;
    const Feed feed = read_feed(model_);
    info.started = clock_.now_text();
    info.serial = feed.serial;
    info.firmware = feed.firmware;
    info.imei = feed.imei;
    info.full_scale = feed.full_scale;
    if (const auto error = cal_.start(info)) {
        fail(*error);
        return false;
    }
    return true;
}

std::optional<SessionForm> WindowActions::load(const std::filesystem::path& path) {
    Loaded loaded = load_file(path);
    if (!loaded.session) {
        fail(loaded.error);
        return std::nullopt;
    }
    if (const auto error = cal_.resume(std::move(*loaded.session), clock_.now_text())) {
        fail(*error);
        return std::nullopt;
    }
    return form_of(cal_.session().info(), decimal_);
}

std::optional<std::string> WindowActions::export_csv(const std::filesystem::path& path) {
    if (!has_points()) {
        fail("В таблице нет точек: сохранять в CSV нечего.");
        return std::nullopt;
    }
    std::size_t marked = 0;
    for (const auto& c : cal_.session().checks()) marked += c.marks != 0;
    if (marked > 0 && !ask("В таблице отмечено точек: " + std::to_string(marked) +
                           ". Сервер может принять их неверно. Всё равно сохранить? Отметки "
                           "попадут в столбец «Проверка»."))
        return std::nullopt;
    if (const auto error = cal_.export_csv(path, decimal_)) {
        fail(*error);
        return std::nullopt;
    }
    return "Таблица сохранена в «" + path_text(path) + "».";
}

std::optional<std::string> WindowActions::export_platform(const std::filesystem::path& path,
                                                          std::size_t choice) {
    if (!has_points()) {
        fail("В таблице нет точек: сохранять нечего.");
        return std::nullopt;
    }
    const PlatformFormat format =
        kPlatformChoices[choice < kPlatformChoices.size() ? choice : 0].format;
    if (const auto error = cal_.export_platform(path, format)) {
        fail(*error);
        return std::nullopt;
    }
    return "Таблица для платформы сохранена в «" + path_text(path) + "».";
}

std::optional<std::string> WindowActions::report(const std::filesystem::path& path,
                                                 const ReportWriter& write) {
    if (!has_points()) {
        fail("В таблице нет точек: отчёт не из чего составить.");
        return std::nullopt;
    }
    if (const auto error = write(cal_.session(), path)) {
        fail(*error);
        return std::nullopt;
    }
    return "Отчёт сохранён в «" + path_text(path) + "».";
}

void WindowActions::apply_who(std::string vehicle, std::string installer, std::string notes) {
    if (!cal_.active()) return;
    if (const auto error = cal_.set_who(std::move(vehicle), std::move(installer), std::move(notes)))
        fail(*error);
}

void WindowActions::toggle_wait() {
    if (!cal_.active()) return fail("Сначала начните новый сеанс или откройте сохранённый.");
    if (cal_.waiting()) {
        cal_.cancel_wait();
    } else {
        cal_.wait_for_point();
    }
}

bool WindowActions::remeasure(std::optional<std::size_t> row) {
    if (!row || !cal_.active() || *row >= cal_.session().points().size()) {
        fail("Выберите в таблице точку, которую перемерить.");
        return false;
    }
    const Point p = cal_.session().points()[*row];
    if (!ask("Перемерить точку " + format_number(p.volume, decimal_) + " л? Её уровень " +
             format_number(p.level, decimal_, 1) + " заменит новый замер (это можно отменить)."))
        return false;
    cal_.wait_for_point(*row);
    return true;
}

WindowActions::Change WindowActions::remove(std::optional<std::size_t> row) {
    if (!row || !cal_.active() || *row >= cal_.session().points().size()) {
        fail("Выберите в таблице точку, которую удалить.");
        return {};
    }
    const Point p = cal_.session().points()[*row];
    if (!ask("Удалить точку " + format_number(p.volume, decimal_) + " л (уровень " +
             format_number(p.level, decimal_, 1) + ")? Это можно отменить."))
        return {};
    return {true, cal_.remove(*row)};
}

std::optional<std::string> WindowActions::edit(std::size_t index, Point point) {
    const auto& points = cal_.session().points();
    if (index >= points.size()) return std::nullopt;
    const double shift = point.volume - points[index].volume;
    // The later volumes were counted from this one: they are wrong by as much as it was.
    const bool later = index + 1 < points.size();
    const bool shift_later =
        shift != 0.0 && later &&
        ask("Сдвинуть объёмы следующих точек на " + std::string(shift > 0 ? "+" : "") +
            format_number(shift, decimal_) + " л? Они считались от этой точки.");
    return cal_.edit(index, point, shift_later);
}

std::filesystem::path WindowActions::choose_load() const {
    return dialogs_.open_file("Открыть таблицу тарировки", folder_ / kSessionFolder,
                              {{"Таблицы тарировки", "*.tarirovka *.csv"}, {"Все файлы", "*"}});
}

std::filesystem::path WindowActions::choose_export() const {
    return dialogs_.save_file("Экспорт таблицы в CSV", cal_.suggested_file(folder_, "", ".csv"),
                              {{"CSV", "*.csv"}});
}

std::filesystem::path WindowActions::choose_platform() const {
    return dialogs_.save_file("Таблица для платформы",
                              cal_.suggested_file(folder_, "_platforma", ".csv"),
                              {{"CSV", "*.csv"}, {"Текст", "*.txt"}});
}

std::filesystem::path WindowActions::choose_report() const {
    return dialogs_.save_file("Отчёт о тарировке", cal_.suggested_file(folder_, "", ".pdf"),
                              {{"PDF", "*.pdf"}});
}

}  // namespace velkon::calibration
