#include "calibration/session_file.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "files/file_error.h"
#include "files/file_write.h"

namespace velkon::calibration {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "velkon-tarirovka 1";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;
constexpr std::size_t kMaxPoints = 10'000;
constexpr double kMaxLevel = 65535.0;

// CSV header lines before the column names.
constexpr std::string_view kCsvTitle = "Тарировка бака";
constexpr std::string_view kCsvDate = "Дата";
constexpr std::string_view kCsvSerial = "Датчик";
constexpr std::string_view kCsvPortion = "Порция, л";
constexpr std::string_view kCsvTank = "Объём бака, л";
constexpr std::string_view kCsvStart = "Начальный объём, л";
constexpr std::string_view kCsvImei = "IMEI блока";
constexpr std::string_view kCsvVehicle = "Машина, бак";
constexpr std::string_view kCsvInstaller = "Установщик";

// A text for a one-line field: line ends and separators would break the file.
std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == ';' || c == '\t') c = ' ';
    return text;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// Well-formed UTF-8 without control characters other than line ends and tabs.
bool valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        if (c >= 0x80) {
            if ((c >> 5) == 0x6)
                more = 1;
            else if ((c >> 4) == 0xE)
                more = 2;
            else if ((c >> 3) == 0x1E)
                more = 3;
            else
                return false;
        } else if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') {
            return false;
        }
        if (more >= text.size() - i) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += more + 1;
    }
    return true;
}

bool plausible_point(const Point& p) {
    return p.volume >= 0.0 && p.volume <= 1'000'000.0 && p.level >= 0.0 && p.level <= kMaxLevel;
}

Loaded failure(std::string text) {
    return Loaded{std::nullopt, std::move(text)};
}

std::optional<Point> parse_point(std::string_view text) {
    const auto semi = text.find(';');
    if (semi == std::string_view::npos) return std::nullopt;
    const auto volume = parse_number(text.substr(0, semi));
    const auto level = parse_number(text.substr(semi + 1));
    if (!volume || !level) return std::nullopt;
    Point p{*volume, *level};
    if (!plausible_point(p)) return std::nullopt;
    return p;
}

Loaded parse_session_file(const std::vector<std::string_view>& lines) {
    const std::string bad = "Файл тарировки повреждён: ";
    SessionInfo info;
    std::vector<Point> points;
    bool ended = false;
    bool have_portion = false;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        const std::string where = "строка " + std::to_string(n + 1);
        if (ended) {
            if (!line.empty()) return failure(bad + "текст после конца таблицы (" + where + ").");
            continue;
        }
        if (line == "end") {
            ended = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return failure(bad + "непонятная " + where + ".");
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        auto number = [&](double& out) {
            const auto v = parse_number(value);
            if (v) out = *v;
            return v.has_value();
        };
        bool ok = true;
        if (key == "started") {
            info.started = std::string(value);
        } else if (key == "serial") {
            info.serial = std::string(value);
        } else if (key == "imei") {
            info.imei = std::string(value);
        } else if (key == "vehicle") {
            info.vehicle = std::string(value);
        } else if (key == "installer") {
            info.installer = std::string(value);
        } else if (key == "firmware") {
            info.firmware = std::string(value);
        } else if (key == "notes") {
            info.notes = std::string(value);
        } else if (key == "portion") {
            ok = number(info.portion);
            have_portion = ok;
        } else if (key == "tank") {
            double v = 0;
            ok = value.empty() || number(v);
            if (!value.empty()) info.tank_volume = v;
        } else if (key == "start") {
            ok = number(info.start_volume);
        } else if (key == "scale") {
            double v = 0;
            ok = number(v) && v == static_cast<int>(v);
            info.full_scale = static_cast<int>(v);
        } else if (key == "settle_seconds") {
            ok = number(info.rule.seconds);
        } else if (key == "settle_band") {
            ok = number(info.rule.band);
        } else if (key == "point") {
            const auto p = parse_point(value);
            ok = p.has_value();
            if (p) points.push_back(*p);
            if (points.size() > kMaxPoints) return failure(bad + "слишком много точек.");
        } else {
            return failure(bad + "неизвестное поле «" + std::string(key) + "» (" + where + ").");
        }
        if (!ok) return failure(bad + "неверное значение (" + where + ").");
    }
    if (!ended) return failure(bad + "файл обрывается: нет строки конца таблицы.");
    if (!have_portion) return failure(bad + "не указана порция.");
    if (const auto why = check_info(info)) return failure(bad + *why);
    Session session(std::move(info));
    for (const Point& p : points) session.add(p);
    return Loaded{std::move(session), {}};
}

// The fields of one CSV line, blanks and the quotes of a spreadsheet around each taken off.
std::vector<std::string> csv_fields(std::string_view line, char separator) {
    std::vector<std::string> out;
    while (true) {
        const auto end = line.find(separator);
        std::string_view field = line.substr(0, end);
        while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
            field.remove_prefix(1);
        while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
            field.remove_suffix(1);
        if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
            field = field.substr(1, field.size() - 2);
        out.emplace_back(field);
        if (end == std::string_view::npos) break;
        line.remove_prefix(end + 1);
    }
    return out;
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// A number of a CSV whose fields are separated by ",": only "." can be its decimal separator.
std::optional<double> csv_number(const std::string& text, char separator) {
    if (separator == ',' && contains(text, ",")) return std::nullopt;
    return parse_number(text);
}

Loaded parse_csv(const std::vector<std::string_view>& lines) {
    const std::string bad = "Файл CSV не читается как таблица тарировки: ";
    // One separator for the whole file, so "12,5" is never split in one line and kept in the next.
    char separator = ',';
    for (const auto line : lines)
        if (line.find('\t') != std::string_view::npos) separator = '\t';
    if (separator != '\t')
        for (const auto line : lines)
            if (line.find(';') != std::string_view::npos) separator = ';';
    SessionInfo info;
    std::vector<Point> points;
    std::size_t volume_at = 0, level_at = 1;
    bool have_header = false;
    std::size_t columns = 2;  // fields a point may have: the named columns, or two
    bool recognised = false;  // a line of ours or a point seen: the file is a table
    std::optional<std::string> unknown_where;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string where = "строка " + std::to_string(n + 1);
        const auto fields = csv_fields(lines[n], separator);
        if (fields.size() == 1 && fields[0].empty()) continue;
        const std::string& key = fields[0];
        const std::string value = fields.size() > 1 ? fields[1] : std::string();
        const auto first = csv_number(key, separator);
        if (first && fields.size() >= 2) {
            recognised = true;
            // Extra fields only under column names of their own (our marks column).
            if (std::max(volume_at, level_at) >= fields.size() || fields.size() > columns)
                return failure(bad + "неверная точка (" + where + ").");
            const auto volume = csv_number(fields[volume_at], separator);
            const auto level = csv_number(fields[level_at], separator);
            if (!volume || !level || !plausible_point({*volume, *level}))
                return failure(bad + "неверная точка (" + where + ").");
            points.push_back({*volume, *level});
            if (points.size() > kMaxPoints) return failure(bad + "слишком много точек.");
            continue;
        }
        if (!points.empty()) return failure(bad + "неверная точка (" + where + ").");
        if (key == kCsvTitle) {
            recognised = true;
            continue;
        }
        // The column names, in whichever order and wording: "Объём, л", "Уровень", "Литры"...
        // A unit left alone by a "," separator ("Объём, л") is no column of its own.
        std::vector<std::string> names;
        for (const auto& f : fields)
            if (f != "л" && f != "л.") names.push_back(f);
        std::optional<std::size_t> v, l;
        for (std::size_t k = 0; k < names.size(); ++k) {
            const std::string& f = names[k];
            if (!l && (contains(f, "ровень") || contains(f, "РОВЕНЬ") || contains(f, "evel") ||
                       contains(f, "EVEL")))
                l = k;
            else if (!v && (contains(f, "бъём") || contains(f, "БЪЁМ") || contains(f, "итр") ||
                            contains(f, "ИТР") || contains(f, "olume") || contains(f, "iter") ||
                            contains(f, "OLUME") || contains(f, "ITER")))
                v = k;
        }
        if (v && l && key != kCsvTank && key != kCsvStart) {
            volume_at = *v;
            level_at = *l;
            columns = names.size();
            have_header = true;
            recognised = true;
            continue;
        }
        auto number = [&](double& out) {
            const auto x = parse_number(value);
            if (x) out = *x;
            return x.has_value();
        };
        double tank = 0;
        if (key == kCsvDate) {
            info.started = value;
        } else if (key == kCsvSerial) {
            info.serial = value;
        } else if (key == kCsvImei) {
            info.imei = value;
        } else if (key == kCsvVehicle) {
            info.vehicle = value;
        } else if (key == kCsvInstaller) {
            info.installer = value;
        } else if (key == kCsvPortion) {
            if (!number(info.portion)) return failure(bad + "неверная порция (" + where + ").");
        } else if (key == kCsvTank) {
            if (!value.empty() && !number(tank))
                return failure(bad + "неверный объём бака (" + where + ").");
            if (!value.empty()) info.tank_volume = tank;
        } else if (key == kCsvStart) {
            if (!number(info.start_volume))
                return failure(bad + "неверный начальный объём (" + where + ").");
        } else if (!have_header) {
            // Told apart at the end: a foreign file at large, or one odd line in a table.
            if (!unknown_where) unknown_where = where;
            continue;
        }
        recognised = true;
    }
    if (!recognised)
        return failure(
            "Файл не похож на таблицу тарировки: это не файл сеанса тарировки и не таблица "
            "объёмов и уровней.");
    if (unknown_where) return failure(bad + "непонятная " + *unknown_where + ".");
    if (points.empty()) return failure(bad + "в нём нет ни одной точки (объём и уровень).");
    if (info.portion == 0.0) {
        // A table typed by hand: take the step between the first two points.
        info.portion = points.size() >= 2 ? points[1].volume - points[0].volume : 0.0;
        if (!(info.portion > 0.0)) info.portion = 1.0;
    }
    if (info.start_volume == 0.0 && !points.empty()) {
        double lowest = points[0].volume;
        for (const Point& p : points) lowest = std::min(lowest, p.volume);
        info.start_volume = std::max(0.0, lowest);
    }
    if (info.tank_volume && info.start_volume >= *info.tank_volume) info.start_volume = 0.0;
    if (const auto why = check_info(info)) return failure(bad + *why);
    Session session(std::move(info));
    for (const Point& p : points) session.add(p);
    return Loaded{std::move(session), {}};
}

// Why a file could not be read: the shared wording, except where it speaks of writing.
std::string read_error_text(int error) {
    if (error == ENOENT) return "файл не найден";
    if (error == EACCES || error == EPERM) return "нет прав на чтение";
    return file_error_text(error);
}

}  // namespace

std::string session_text(const Session& session) {
    const SessionInfo& i = session.info();
    std::string out(kMagic);
    out += '\n';
    out += "started=" + i.started + '\n';
    out += "serial=" + i.serial + '\n';
    if (!i.imei.empty()) out += "imei=" + i.imei + '\n';
    if (!i.vehicle.empty()) out += "vehicle=" + one_line(i.vehicle) + '\n';
    if (!i.installer.empty()) out += "installer=" + one_line(i.installer) + '\n';
    if (!i.firmware.empty()) out += "firmware=" + one_line(i.firmware) + '\n';
    if (!i.notes.empty()) out += "notes=" + one_line(i.notes) + '\n';
    out += "portion=" + format_number(i.portion) + '\n';
    out += "tank=" + (i.tank_volume ? format_number(*i.tank_volume) : std::string()) + '\n';
    out += "start=" + format_number(i.start_volume) + '\n';
    out += "scale=" + std::to_string(i.full_scale) + '\n';
    out += "settle_seconds=" + format_number(i.rule.seconds) + '\n';
    out += "settle_band=" + format_number(i.rule.band) + '\n';
    for (const Point& p : session.points())
        out += "point=" + format_number(p.volume) + ';' + format_number(p.level) + '\n';
    out += "end\n";
    return out;
}

std::string csv_text(const Session& session, char decimal) {
    const SessionInfo& i = session.info();
    std::string out(kBom);
    auto line = [&out](std::string_view a, std::string_view b) {
        out.append(a);
        out += ';';
        out.append(b);
        out += "\r\n";
    };
    line(kCsvTitle, "");
    line(kCsvDate, i.started);
    line(kCsvSerial, i.serial);
    if (!i.imei.empty()) line(kCsvImei, i.imei);
    if (!i.vehicle.empty()) line(kCsvVehicle, one_line(i.vehicle));
    if (!i.installer.empty()) line(kCsvInstaller, one_line(i.installer));
    line(kCsvPortion, format_number(i.portion, decimal));
    if (i.tank_volume) line(kCsvTank, format_number(*i.tank_volume, decimal));
    line(kCsvStart, format_number(i.start_volume, decimal));
    out += "\r\n";
    out.append(kCsvHeader);
    out += "\r\n";
    const auto checks = session.checks();
    for (std::size_t k = 0; k < session.points().size(); ++k) {
        const Point& p = session.points()[k];
        line(format_number(p.volume, decimal),
             format_number(p.level, decimal, 1) + ";" + mark_words(checks[k].marks));
    }
    return out;
}

Loaded parse_saved(std::string_view text) {
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    if (!valid_utf8(text))
        return failure(
            "Файл не похож на таблицу тарировки: в нём двоичные данные или текст не "
            "в кодировке UTF-8.");
    const auto lines = split_lines(text);
    if (!lines.empty() && lines[0] == kMagic) return parse_session_file(lines);
    return parse_csv(lines);
}

Loaded load_file(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return failure("Не удалось открыть файл «" + path_text(path) +
                       "»: " + read_error_text(ec.value()) + ".");
    if (size > kMaxFileBytes)
        return failure("Файл «" + path_text(path) + "» слишком велик для таблицы тарировки.");
    std::ifstream in(path, std::ios::binary);
    if (!in) return failure("Не удалось открыть файл «" + path_text(path) + "».");
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(in.gcount()) != size)
        return failure("Не удалось прочитать файл «" + path_text(path) + "».");
    return parse_saved(text);
}

std::optional<std::string> write_whole(const fs::path& target, std::string_view bytes) {
    if (const int error = replace_file(target, bytes))
        return "Не удалось сохранить файл «" + path_text(target) + "»: " + file_error_text(error) +
               ".";
    return std::nullopt;
}

std::optional<std::string> write_session(const fs::path& program_folder, const fs::path& target,
                                         std::string_view bytes) {
    const fs::path folder = program_folder / kSessionFolder;
    if (const int error = make_own_folder(folder))
        return "Не удалось сохранить файл «" + path_text(target) + "»: " + file_error_text(error) +
               " (" + path_text(folder) + ").";
    return write_whole(target, bytes);
}

std::optional<std::string> write_export(const fs::path& target, std::string_view bytes) {
    if (const int error = write_output_file(target, bytes))
        return "Не удалось сохранить файл «" + path_text(target) + "»: " + file_error_text(error) +
               ".";
    return std::nullopt;
}

fs::path new_session_path(const fs::path& program_folder, const std::string& started,
                          const std::string& serial) {
    // "DD.MM.YYYY HH:MM:SS" -> "YYYY-MM-DD_HH-MM-SS", so the files sort by time.
    std::string stamp = "session";
    if (started.size() == 19) {
        stamp = started.substr(6, 4) + '-' + started.substr(3, 2) + '-' + started.substr(0, 2) +
                '_' + started.substr(11, 2) + '-' + started.substr(14, 2) + '-' +
                started.substr(17, 2);
    }
    for (char& c : stamp) {
        if (!((c >= '0' && c <= '9') || c == '-' || c == '_' || (c >= 'a' && c <= 'z'))) c = '_';
    }
    std::string base = stamp;
    bool digits = !serial.empty() && serial.size() <= 10;
    for (char c : serial) digits = digits && c >= '0' && c <= '9';
    if (digits) base += "_" + serial;
    const fs::path folder = program_folder / kSessionFolder;
    fs::path path = folder / (base + std::string(kSessionExtension));
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(path, ec)) && n < 1000; ++n)
        path = folder / (base + "_" + std::to_string(n) + std::string(kSessionExtension));
    return path;
}

}  // namespace velkon::calibration
