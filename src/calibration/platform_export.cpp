#include "calibration/platform_export.h"

#include <cmath>

namespace velkon::calibration {

PlatformText platform_table(const Session& session, const PlatformFormat& format) {
    PlatformText out;
    const auto& points = session.points();
    if (points.size() < 2) {
        out.error = "Для платформы нужны хотя бы две точки.";
        return out;
    }
    long previous_level = -1;
    const Point* previous = nullptr;
    for (const Point& p : points) {
        const long level = std::lround(p.level);
        if (previous && !(p.volume > previous->volume)) {
            out.error = "Точка " + format_number(p.volume) + " л: объём не больше, чем у точки " +
                        format_number(previous->volume) +
                        " л. Для платформы объём должен расти от точки к точке: удалите или "
                        "исправьте одну из них.";
            out.text.clear();
            return out;
        }
        if (previous && level <= previous_level) {
            out.error = "Точка " + format_number(p.volume) + " л: уровень " +
                        std::to_string(level) + " не выше уровня " +
                        std::to_string(previous_level) + " точки " +
                        format_number(previous->volume) +
                        " л. Для платформы уровень должен расти с объёмом: перемерьте или удалите "
                        "точку.";
            out.text.clear();
            return out;
        }
        const std::string litres = format_number(p.volume, '.');
        const std::string whole = std::to_string(level);
        out.text += format.level_first ? whole : litres;
        out.text += format.separator;
        out.text += format.level_first ? litres : whole;
        out.text += "\r\n";
        previous_level = level;
        previous = &p;
    }
    return out;
}

}  // namespace velkon::calibration
