#include "calibration/report.h"

namespace velkon::calibration {

Report make_report(const Session& session, char decimal) {
    const SessionInfo& i = session.info();
    Report r;
    r.title = "Тарировочная таблица бака";
    auto known = [](const std::string& text) { return text.empty() ? "не указано" : text; };
    auto litres = [decimal](double v) { return format_number(v, decimal) + " л"; };
    r.heading = {
        {"Машина, бак", known(i.vehicle)},
        {"Установщик", known(i.installer)},
        {"Дата тарировки", known(i.started)},
        {"Датчик, серийный номер", known(i.serial)},
        {"Прошивка датчика", known(i.firmware)},
        {"IMEI блока", known(i.imei)},
        {"Объём бака", i.tank_volume ? litres(*i.tank_volume) : "не указан"},
        {"Форма бака, заметки", known(i.notes)},
        {"Начальный объём", litres(i.start_volume)},
        {"Порция", litres(i.portion)},
        {"Шкала датчика", "0…" + std::to_string(i.full_scale - 1)},
        {"Правило успокоения",
         "уровень держится в пределах ±" + format_number(i.rule.band, decimal, 1) + " не меньше " +
             format_number(i.rule.seconds, decimal, 1) + " с; записывается среднее"},
    };
    const auto checks = session.checks();
    std::size_t marked = 0;
    for (std::size_t k = 0; k < session.points().size(); ++k) {
        const Point& p = session.points()[k];
        const bool bad = checks[k].marks != 0;
        marked += bad;
        r.rows.push_back({format_number(p.volume, decimal), format_number(p.level, decimal, 1),
                          bad ? mark_words(checks[k].marks) : checks[k].note, bad});
    }
    r.summary = "Точек: " + std::to_string(r.rows.size()) +
                (marked ? ", отмечено: " + std::to_string(marked) : ", все без замечаний") + ".";
    return r;
}

}  // namespace velkon::calibration
