#include "calibration/session_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <system_error>
#include <vector>

#include "files/file_error.h"
#include "files/file_write.h"
#include "protocol/cp1251.h"

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
// The sensor's scale as the report shows it: "0…4095".
constexpr std::string_view kCsvScale = "Шкала датчика";
constexpr std::string_view kScaleFrom = "0…";

// A text for a one-line field: a line end would break the file.
std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// Lines ended by LF, CR LF or a lone CR (old spreadsheets on a Mac end them so).
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return lines;
}

// Well-formed UTF-8 (what the window can show) without control characters other than line ends
// and tabs.
bool valid_utf8(std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
    }
    return utf8_well_formed(text);
}

// A piece of the file quoted in a message: a long one cut at a character's boundary.
std::string quoted_piece(std::string_view text) {
    constexpr std::size_t kLongest = 40;
    if (text.size() <= kLongest) return std::string(text);
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "…";
}

// A number of a file, kept to the three decimals the files are written with, so a table read
// and written again is the same table.
std::optional<double> file_number(std::string_view text) {
    auto value = parse_number(text);
    if (value && std::abs(*value) < 1e12) *value = std::round(*value * 1000.0) / 1000.0;
    return value;
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
    const auto volume = file_number(text.substr(0, semi));
    const auto level = file_number(text.substr(semi + 1));
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
        if (line.empty()) continue;
        if (ended) return failure(bad + "текст после конца таблицы (" + where + ").");
        if (line == "end") {
            ended = true;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return failure(bad + "непонятная " + where + ".");
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        auto number = [&](double& out) {
            const auto v = file_number(value);
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
            // A number beyond int's range has no int value: the set-up's check says why.
            ok = number(v) && v == std::floor(v);
            if (ok) info.full_scale = static_cast<int>(std::clamp(v, -1.0, 1e6));
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
            return failure(bad + "неизвестное поле «" + quoted_piece(key) + "» (" + where + ").");
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

// The fields of one CSV line as spreadsheets write them: blanks around a field are dropped; a
// field in quotes keeps its blanks and separators, and "" in it is one quote. Empty fields at the
// end of the line (the columns a spreadsheet saves beyond the table) are no fields.
std::vector<std::string> csv_fields(std::string_view line, char separator) {
    std::vector<std::string> out;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && line[i] != separator && blank(line[i])) ++i;
        std::string field;
        if (i < line.size() && line[i] == '"' && line.find('"', i + 1) != std::string_view::npos) {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    i += 2;
                } else if (line[i] == '"') {
                    ++i;
                    break;
                } else {
                    field += line[i++];
                }
            }
            // Whatever follows the closing quote up to the separator belongs to the field too.
            const std::size_t end = std::min(line.find(separator, i), line.size());
            std::string_view rest = line.substr(i, end - i);
            while (!rest.empty() && blank(rest.back())) rest.remove_suffix(1);
            field.append(rest);
            i = end;
        } else {
            const std::size_t end = std::min(line.find(separator, i), line.size());
            std::string_view plain = line.substr(i, end - i);
            while (!plain.empty() && blank(plain.back())) plain.remove_suffix(1);
            field.assign(plain);
            i = end;
        }
        out.push_back(std::move(field));
        if (i >= line.size()) break;
        ++i;  // the separator
    }
    while (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// Whether `c` stands in the line outside the fields in quotes.
bool outside_quotes(std::string_view line, char c) {
    bool quoted = false;
    for (const char x : line) {
        if (x == '"') quoted = !quoted;
        if (x == c && !quoted) return true;
    }
    return false;
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The scale written as its top level ("0…4095", or only "4095").
std::optional<int> csv_scale(std::string_view text) {
    if (text.substr(0, kScaleFrom.size()) == kScaleFrom) text.remove_prefix(kScaleFrom.size());
    const auto top = parse_number(text);
    if (!top || *top != std::floor(*top) || *top < 1 || *top > 65535) return std::nullopt;
    return static_cast<int>(*top) + 1;
}

// The scale of a table that does not name it: the narrowest range of a sensor (0…1023, 0…4095 or
// the whole 16 bits) that holds every level of it.
int scale_holding(const std::vector<Point>& points) {
    double top = 0;
    for (const Point& p : points) top = std::max(top, p.level);
    for (const int scale : {1024, 4096})
        if (top <= scale - 1) return scale;
    return 65536;
}

Loaded parse_csv(const std::vector<std::string_view>& lines) {
    const std::string bad = "Файл CSV не читается как таблица тарировки: ";
    // One separator for the whole file, so "12,5" is never split in one line and kept in the next.
    char separator = ',';
    for (const auto line : lines)
        if (outside_quotes(line, '\t')) separator = '\t';
    if (separator != '\t')
        for (const auto line : lines)
            if (outside_quotes(line, ';')) separator = ';';
    SessionInfo info;
    std::vector<Point> points;
    std::size_t volume_at = 0, level_at = 1;
    bool have_header = false;
    bool have_start = false;
    bool have_scale = false;
    std::size_t columns = 2;  // fields a point may have: the named columns, or two
    bool recognised = false;  // a line of ours or a point seen: the file is a table
    std::optional<std::string> unknown_where;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string where = "строка " + std::to_string(n + 1);
        const auto fields = csv_fields(lines[n], separator);
        // Empty lines, and the empty rows a spreadsheet saves as ";;;".
        if (fields.empty()) continue;
        const std::string& key = fields[0];
        const std::string value = fields.size() > 1 ? fields[1] : std::string();
        // With "," between fields a "," in a number is a decimal separator only in quotes, and
        // the split has already taken every other one.
        const auto first = file_number(key);
        if (first && fields.size() >= 2) {
            recognised = true;
            // Extra fields only under column names of their own (our marks column).
            if (std::max(volume_at, level_at) >= fields.size() || fields.size() > columns)
                return failure(bad + "неверная точка (" + where + ").");
            const auto volume = file_number(fields[volume_at]);
            const auto level = file_number(fields[level_at]);
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
            const auto x = file_number(value);
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
            have_start = true;
        } else if (key == kCsvScale) {
            const auto scale = csv_scale(value);
            if (!scale) return failure(bad + "неверная шкала датчика (" + where + ").");
            info.full_scale = *scale;
            have_scale = true;
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
        info.portion = std::round(info.portion * 1000.0) / 1000.0;
        if (!(info.portion > 0.0)) info.portion = 1.0;
    }
    if (!have_start) {
        double lowest = points[0].volume;
        for (const Point& p : points) lowest = std::min(lowest, p.volume);
        info.start_volume = std::max(0.0, lowest);
        if (info.tank_volume && info.start_volume >= *info.tank_volume) info.start_volume = 0.0;
    }
    if (!have_scale) info.full_scale = scale_holding(points);
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

// A text cell of the CSV, read back as it was: in quotes when it holds a separator, a quote or
// blanks at its ends (a spreadsheet shows it without them).
std::string csv_cell(const std::string& text) {
    const std::string flat = one_line(text);
    const bool plain = flat.find_first_of(";\t\"") == std::string::npos &&
                       (flat.empty() || (flat.front() != ' ' && flat.back() != ' '));
    if (plain) return flat;
    std::string out = "\"";
    for (const char c : flat) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

}  // namespace

std::string session_text(const Session& session) {
    const SessionInfo& i = session.info();
    std::string out(kMagic);
    out += '\n';
    out += "started=" + one_line(i.started) + '\n';
    out += "serial=" + one_line(i.serial) + '\n';
    if (!i.imei.empty()) out += "imei=" + one_line(i.imei) + '\n';
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
    line(kCsvDate, csv_cell(i.started));
    line(kCsvSerial, csv_cell(i.serial));
    if (!i.imei.empty()) line(kCsvImei, csv_cell(i.imei));
    if (!i.vehicle.empty()) line(kCsvVehicle, csv_cell(i.vehicle));
    if (!i.installer.empty()) line(kCsvInstaller, csv_cell(i.installer));
    line(kCsvPortion, format_number(i.portion, decimal));
    if (i.tank_volume) line(kCsvTank, format_number(*i.tank_volume, decimal));
    line(kCsvStart, format_number(i.start_volume, decimal));
    line(kCsvScale, std::string(kScaleFrom) + std::to_string(i.full_scale - 1));
    out += "\r\n";
    out.append(kCsvHeader);
    out += "\r\n";
    const auto checks = session.checks();
    for (std::size_t k = 0; k < session.points().size(); ++k) {
        const Point& p = session.points()[k];
        line(format_number(p.volume, decimal),
             format_number(p.level, decimal) + ";" + mark_words(checks[k].marks));
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
