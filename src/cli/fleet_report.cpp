#include "cli/fleet_report.h"

#if VELKON_XLSX
#include <stdlib.h>
#include <xlsxwriter.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/cli_tool.h"
#include "files/file_error.h"

namespace velkon::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

const char* state_text(RunState state) {
    switch (state) {
        case RunState::Running:
            return "идёт";
        case RunState::Done:
            return "закончен";
        case RunState::Interrupted:
            return "прерван";
    }
    return "";
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

std::string status_text(int status) {
    return status == kUnfinished ? std::string() : std::to_string(status);
}

// «ключ: было → стало», one a line.
std::string changes_text(const UnitReport& u) {
    std::vector<std::string> lines;
    for (const UnitReport::Change& c : u.changes) {
        lines.push_back(c.key + ": " + c.before + " → " + c.after);
    }
    return joined(lines, "\n");
}

// «ключ = значение», one a line.
std::string filled_text(const UnitReport& u) {
    std::vector<std::string> lines;
    for (const auto& [key, value] : u.filled) lines.push_back(key + " = " + value);
    return joined(lines, "\n");
}

std::string_view word_of(const UnitReport& u) {
    return outcome_row(u.outcome).word;
}

std::string_view code_of(const UnitReport& u) {
    return outcome_row(u.outcome).code;
}

// ---- CSV

// A CSV cell as a spreadsheet reads it: quoted when it holds the separator, a quote or a line.
std::string csv_cell(std::string_view text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// A number that is a name (IMEI, SIM, serial) as a formula giving the text, ="89701…": LibreOffice
// and Excel keep every digit and the leading zeros, where the bare digits would become
// 8,97010E+19. A script takes the text from between =" and ". A value the form cannot hold
// is written as any other cell.
std::string csv_text_cell(const std::string& text) {
    if (text.empty() || text.find_first_of(";\"\r\n") != std::string::npos) return csv_cell(text);
    return "=\"" + text + "\"";
}

struct CsvColumn {
    const char* header;
    std::string (*cell)(const UnitReport&, const RunFacts&);
};

// Every row carries the run's facts, so the table stays one table for a spreadsheet's filter and
// for a script's CSV reader alike. Columns are only ever added at the end: scripts count them.
constexpr CsvColumn kCsvColumns[] = {
    {"Порт", [](const UnitReport& u, const RunFacts&) { return csv_cell(u.port); }},
    {"IMEI", [](const UnitReport& u, const RunFacts&) { return csv_text_cell(u.imei); }},
    {"SIM", [](const UnitReport& u, const RunFacts&) { return csv_text_cell(u.sim); }},
    {"Серийный номер",
     [](const UnitReport& u, const RunFacts&) { return csv_text_cell(u.serial); }},
    {"Версия ПО", [](const UnitReport& u, const RunFacts&) { return csv_cell(u.firmware); }},
    {"Результат", [](const UnitReport& u, const RunFacts&) { return csv_cell(word_of(u)); }},
    {"Код", [](const UnitReport& u, const RunFacts&) { return status_text(u.status); }},
    {"Различия",
     [](const UnitReport& u, const RunFacts&) { return csv_cell(joined(u.differing, ", ")); }},
    {"Сообщение", [](const UnitReport& u, const RunFacts&) { return csv_cell(u.message); }},
    {"Начало работы", [](const UnitReport&, const RunFacts& r) { return csv_cell(r.started); }},
    {"Профиль", [](const UnitReport&, const RunFacts& r) { return csv_cell(r.profile); }},
    {"Программа", [](const UnitReport&, const RunFacts& r) { return csv_cell(r.version); }},
    {"Код результата", [](const UnitReport& u, const RunFacts&) { return csv_cell(code_of(u)); }},
    {"Изменения", [](const UnitReport& u, const RunFacts&) { return csv_cell(changes_text(u)); }},
    {"Заполнено", [](const UnitReport& u, const RunFacts&) { return csv_cell(filled_text(u)); }},
};

std::string report_csv(const std::vector<UnitReport>& units, const RunFacts& run) {
    std::string text(kUtf8Bom);
    std::string header;
    for (const CsvColumn& column : kCsvColumns) {
        header += (header.empty() ? "" : ";") + std::string(column.header);
    }
    text += header + "\r\n";
    for (const UnitReport& u : units) {
        std::string row;
        bool first = true;
        for (const CsvColumn& column : kCsvColumns) {
            row += (first ? "" : ";") + column.cell(u, run);
            first = false;
        }
        text += row + "\r\n";
    }
    return text;
}

// ---- JSON

Json unit_json(const UnitReport& u) {
    Json changes = Json::array();
    for (const UnitReport::Change& c : u.changes) {
        changes.push_back({{"key", c.key}, {"before", c.before}, {"after", c.after}});
    }
    Json filled = Json::object();
    for (const auto& [key, value] : u.filled) filled[key] = value;
    return {{"port", u.port},
            {"imei", u.imei},
            {"sim", u.sim},
            {"serial", u.serial},
            {"firmware", u.firmware},
            {"result", code_of(u)},
            {"result_text", word_of(u)},
            {"status", u.status == kUnfinished ? Json(nullptr) : Json(u.status)},
            {"changes", std::move(changes)},
            {"filled", std::move(filled)},
            {"differing", u.differing},
            {"message", u.message}};
}

std::string json_text(const Json& json, int indent) {
    return json.dump(indent, ' ', false, Json::error_handler_t::replace);
}

std::string report_json(const std::vector<UnitReport>& units, const RunFacts& run, RunState state) {
    Json rows = Json::array();
    for (const UnitReport& u : units) rows.push_back(unit_json(u));
    const Json report = {{"started", run.started},
                         {"profile", run.profile.empty() ? Json(nullptr) : Json(run.profile)},
                         {"version", run.version},
                         {"state", state_text(state)},
                         {"units", std::move(rows)}};
    return json_text(report, 2) + "\n";
}

// ---- Excel workbook (where libxlsxwriter is built: not on Windows)
#if VELKON_XLSX

// Text a workbook can hold: valid UTF-8 (a byte that is not becomes U+FFFD, where the XML inside
// would otherwise make the whole file unreadable) and no longer than a cell takes.
std::string cell_text(std::string_view text) {
    constexpr std::size_t kCellLimit = 32767;
    std::string out;
    for (std::size_t i = 0; i < text.size() && out.size() < kCellLimit;) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
        const unsigned char c = byte(0);
        std::size_t length = c < 0x80                 ? 1
                             : c >= 0xC2 && c <= 0xDF ? 2
                             : (c >> 4) == 0xE        ? 3
                             : c >= 0xF0 && c <= 0xF4 ? 4
                                                      : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) whole = (byte(k) & 0xC0) == 0x80;
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if (whole && length >= 3) {
            const unsigned char next = byte(1);
            whole = !(c == 0xE0 && next < 0xA0) && !(c == 0xED && next >= 0xA0) &&
                    !(c == 0xF0 && next < 0x90) && !(c == 0xF4 && next >= 0x90);
        }
        if (whole && out.size() + length <= kCellLimit) {
            out.append(text.substr(i, length));
            i += length;
        } else if (whole) {
            break;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// Characters, not bytes: what a column's width is counted in.
std::size_t characters(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

enum class CellKind {
    Plain,
    Identifier,  // IMEI, SIM, serial: text, so no digit is ever lost to a number
    Status,      // a number, empty while the unit works
    Lines,       // one item a line, wrapped
};

struct SheetColumn {
    const char* header;
    CellKind kind;
    std::string (*text)(const UnitReport&);
};

constexpr SheetColumn kSheetColumns[] = {
    {"Порт", CellKind::Plain, [](const UnitReport& u) { return u.port; }},
    {"IMEI", CellKind::Identifier, [](const UnitReport& u) { return u.imei; }},
    {"SIM", CellKind::Identifier, [](const UnitReport& u) { return u.sim; }},
    {"Серийный номер", CellKind::Identifier, [](const UnitReport& u) { return u.serial; }},
    {"Версия ПО", CellKind::Plain, [](const UnitReport& u) { return u.firmware; }},
    {"Результат", CellKind::Plain, [](const UnitReport& u) { return std::string(word_of(u)); }},
    {"Код результата", CellKind::Plain,
     [](const UnitReport& u) { return std::string(code_of(u)); }},
    {"Код завершения", CellKind::Status, [](const UnitReport& u) { return status_text(u.status); }},
    {"Изменения", CellKind::Lines, changes_text},
    {"Различия после записи", CellKind::Lines,
     [](const UnitReport& u) { return joined(u.difference_lines, "\n"); }},
    {"Заполнено", CellKind::Lines, filled_text},
    {"Сообщение", CellKind::Lines, [](const UnitReport& u) { return u.message; }},
};

constexpr const char* kSheetName = "Трекеры";
constexpr double kMinWidth = 8, kMaxWidth = 60;

// A folder of this process's own under the system's temporary folder, removed with what it
// holds: where the workbook is made before its bytes go where every report goes.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::error_code ec;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "velkon-cli-XXXXXX").string();
        if (ec) {
            error_ = ec.value() ? ec.value() : ENOENT;
        } else if (::mkdtemp(pattern.data())) {
            path_ = pattern;
        } else {
            error_ = errno;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    int error() const { return error_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int error_ = 0;
};

ReportBytes read_back(const std::filesystem::path& file) {
    ReportBytes out;
    std::FILE* in = std::fopen(file.c_str(), "rbe");
    if (!in) return {{}, errno ? errno : EIO};
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        out.bytes.append(buffer, n);
    }
    if (std::ferror(in)) out.error = errno ? errno : EIO;
    std::fclose(in);
    return out;
}

struct SheetFormats {
    lxw_format *label, *header, *plain, *identifier, *lines;
};

SheetFormats add_formats(lxw_workbook* book) {
    SheetFormats f{};
    f.label = workbook_add_format(book);
    format_set_bold(f.label);
    f.header = workbook_add_format(book);
    format_set_bold(f.header);
    format_set_bottom(f.header, LXW_BORDER_THIN);
    format_set_align(f.header, LXW_ALIGN_VERTICAL_TOP);
    f.plain = workbook_add_format(book);
    format_set_align(f.plain, LXW_ALIGN_VERTICAL_TOP);
    f.identifier = workbook_add_format(book);
    format_set_align(f.identifier, LXW_ALIGN_VERTICAL_TOP);
    format_set_num_format(f.identifier, "@");
    f.lines = workbook_add_format(book);
    format_set_align(f.lines, LXW_ALIGN_VERTICAL_TOP);
    format_set_text_wrap(f.lines);
    return f;
}

// The sheet: the run's facts above, a frozen bold header row, a row per unit, the widths of
// what the columns hold.
void fill_sheet(lxw_worksheet* sheet, const SheetFormats& f, const std::vector<UnitReport>& units,
                const RunFacts& run, RunState state) {
    const std::pair<const char*, std::string> facts[] = {
        {"Начало работы", run.started},
        {"Профиль", run.profile},
        {"Программа", run.version},
        {"Состояние", state_text(state)},
    };
    lxw_row_t row = 0;
    double first_width = kMinWidth;
    for (const auto& [label, value] : facts) {
        worksheet_write_string(sheet, row, 0, label, f.label);
        // The value runs on over the empty cells to its right: it takes no column's width.
        worksheet_write_string(sheet, row, 1, cell_text(value).c_str(), f.plain);
        first_width = std::max(first_width, static_cast<double>(characters(label)) + 2);
        ++row;
    }
    const lxw_row_t header_row = row + 1;
    constexpr auto kColumns = static_cast<lxw_col_t>(std::size(kSheetColumns));
    for (lxw_col_t col = 0; col < kColumns; ++col) {
        const SheetColumn& column = kSheetColumns[col];
        double width = std::max(col == 0 ? first_width : kMinWidth,
                                static_cast<double>(characters(column.header)) + 2);
        worksheet_write_string(sheet, header_row, col, column.header, f.header);
        row = header_row + 1;
        for (const UnitReport& u : units) {
            const std::string text = cell_text(column.text(u));
            for (std::size_t at = 0; at <= text.size();) {
                const std::size_t end = std::min(text.find('\n', at), text.size());
                width = std::max(
                    width,
                    static_cast<double>(characters(std::string_view(text).substr(at, end - at))) +
                        2);
                at = end + 1;
            }
            switch (column.kind) {
                case CellKind::Status:
                    if (u.status != kUnfinished) {
                        worksheet_write_number(sheet, row, col, u.status, f.plain);
                    }
                    break;
                case CellKind::Identifier:
                    worksheet_write_string(sheet, row, col, text.c_str(), f.identifier);
                    break;
                case CellKind::Lines:
                    worksheet_write_string(sheet, row, col, text.c_str(), f.lines);
                    break;
                case CellKind::Plain:
                    worksheet_write_string(sheet, row, col, text.c_str(), f.plain);
                    break;
            }
            ++row;
        }
        worksheet_set_column(sheet, col, col, std::min(width, kMaxWidth), nullptr);
    }
    worksheet_freeze_panes(sheet, header_row + 1, 1);
    worksheet_autofilter(sheet, header_row, 0, header_row + static_cast<lxw_row_t>(units.size()),
                         kColumns - 1);
}

// libxlsxwriter 1.1.4 writes a workbook only to a file of its own naming: it is made in a scratch
// folder and read back, so that the report is then written as every report is, whole or not at
// all, and into a pipe as well as a file.
ReportBytes report_xlsx(const std::vector<UnitReport>& units, const RunFacts& run, RunState state) {
    const ScratchFolder scratch;
    if (scratch.error()) return {{}, scratch.error()};
    const std::filesystem::path file = scratch.path() / "report.xlsx";
    std::string temporary = scratch.path().string();
    lxw_workbook_options options{.constant_memory = 0, .tmpdir = temporary.data(), .use_zip64 = 0};
    lxw_workbook* book = workbook_new_opt(file.c_str(), &options);
    if (!book) return {{}, ENOMEM};
    const SheetFormats formats = add_formats(book);
    if (lxw_worksheet* sheet = workbook_add_worksheet(book, kSheetName)) {
        fill_sheet(sheet, formats, units, run, state);
    }
    errno = 0;
    const lxw_error closed = workbook_close(book);  // frees the workbook whatever happens
    if (closed == LXW_ERROR_MEMORY_MALLOC_FAILED) return {{}, ENOMEM};
    if (closed != LXW_NO_ERROR) return {{}, errno ? errno : EIO};
    return read_back(file);
}
#endif

#if VELKON_XLSX
constexpr const char* kFormatNames = ".csv, .json или .xlsx";
#else
constexpr const char* kFormatNames = ".csv или .json";
#endif

constexpr std::pair<std::string_view, ReportFormat> kEndings[] = {
    {".csv", ReportFormat::Csv},
    {".json", ReportFormat::Json},
    {".xlsx", ReportFormat::Xlsx},
};

}  // namespace

std::string tool_version() {
    return std::string("velkon-cli ") + VELKON_VERSION;
}

std::optional<ReportFormat> report_format(std::string_view file_name) {
    const std::string ending = path_text(path_from_utf8(file_name).extension());
    for (const auto& [name, format] : kEndings) {
        if (ending == name) return format;
    }
    return std::nullopt;
}

std::string report_name_problem(std::string_view file_name) {
    const auto format = report_format(file_name);
#if !VELKON_XLSX
    if (format == ReportFormat::Xlsx) {
        return std::string("Эта сборка пишет отчёт только в файл ") + kFormatNames +
               ": книгу Excel (.xlsx) пишет velkon-cli для Linux.";
    }
#endif
    if (format) return {};
    return std::string("Отчёт пишется в файл ") + kFormatNames + ", а не " +
           in_quotes(std::string(file_name)) + ".";
}

ReportBytes report_bytes(ReportFormat format, const std::vector<UnitReport>& units,
                         const RunFacts& run, RunState state) {
    switch (format) {
        case ReportFormat::Csv:
            return {report_csv(units, run)};
        case ReportFormat::Json:
            return {report_json(units, run, state)};
        case ReportFormat::Xlsx:
#if VELKON_XLSX
            return report_xlsx(units, run, state);
#else
            return {{}, ENOSYS};  // refused with the option (report_name_problem)
#endif
    }
    return {};
}

std::string unit_json_line(const UnitReport& unit) {
    return json_text(unit_json(unit), -1);
}

}  // namespace velkon::cli
