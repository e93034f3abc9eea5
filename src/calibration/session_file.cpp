#include "calibration/session_file.h"

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

Loaded parse_csv(const std::vector<std::string_view>& lines) {
    const std::string bad = "Файл CSV не читается как таблица тарировки: ";
    SessionInfo info;
    std::vector<Point> points;
    bool in_table = false;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        const std::string where = "строка " + std::to_string(n + 1);
        if (line.empty()) continue;
        if (!in_table) {
            if (line == kCsvHeader) {
                in_table = true;
                continue;
            }
            const auto semi = line.find(';');
            const std::string_view key = line.substr(0, semi);
            const std::string_view value =
                semi == std::string_view::npos ? std::string_view{} : line.substr(semi + 1);
            if (key == kCsvTitle) continue;
            if (key == kCsvDate) {
                info.started = std::string(value);
            } else if (key == kCsvSerial) {
                info.serial = std::string(value);
            } else if (key == kCsvPortion) {
                const auto v = parse_number(value);
                if (!v) return failure(bad + "неверная порция (" + where + ").");
                info.portion = *v;
            } else {
                return failure(bad + "непонятная " + where + ".");
            }
            continue;
        }
        const auto p = parse_point(line);
        if (!p || line.find(';') != line.rfind(';'))
            return failure(bad + "неверная точка (" + where + ").");
        points.push_back(*p);
        if (points.size() > kMaxPoints) return failure(bad + "слишком много точек.");
    }
    if (!in_table) return failure(bad + "нет заголовка «" + std::string(kCsvHeader) + "».");
    if (info.portion == 0.0) {
        // A table typed by hand: take the step between the first two points.
        info.portion = points.size() >= 2 ? points[1].volume - points[0].volume : 0.0;
        if (!(info.portion > 0.0)) info.portion = 1.0;
    }
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
    line(kCsvSerial, i.serial.empty() ? std::string() : i.serial);
    line(kCsvPortion, format_number(i.portion, decimal));
    out += "\r\n";
    out.append(kCsvHeader);
    out += "\r\n";
    for (const Point& p : session.points())
        line(format_number(p.volume, decimal), format_number(p.level, decimal, 1));
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
    for (const auto line : lines) {
        if (line == kCsvHeader) return parse_csv(lines);
    }
    return failure(
        "Файл не похож на таблицу тарировки: это не файл сеанса тарировки и не CSV "
        "с заголовком «" +
        std::string(kCsvHeader) + "».");
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
