#include "cli/earlier_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/values_table.h"
#include "files/file_error.h"
#include "files/file_read.h"

namespace velkon::cli {

namespace {

constexpr std::size_t kReportSizeLimit = 64 * 1024 * 1024;
// The report's columns a run is taken from, as velkon-cli names them.
constexpr std::string_view kPortColumn = "Порт";
constexpr std::string_view kStatusColumn = "Код";

std::string in_guillemets(const std::string& text) {
    return "«" + text + "»";
}

void add_port(FailedPorts& out, const std::string& port) {
    if (std::find(out.ports.begin(), out.ports.end(), port) == out.ports.end()) {
        out.ports.push_back(port);
    }
}

// The cause, or "".
std::string from_json(const std::string& text, FailedPorts& out) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_object() || !json.contains("units") || !json["units"].is_array()) {
        return "это не отчёт velkon-cli: нет списка \"units\"";
    }
    for (const auto& unit : json["units"]) {
        if (!unit.is_object() || !unit.contains("port") || !unit["port"].is_string()) {
            return "у трекера " + std::to_string(out.units + 1) + " нет поля \"port\"";
        }
        ++out.units;
        const auto status = unit.value("status", nlohmann::json());
        if (status.is_number_integer() && status.get<long long>() == 0) continue;
        add_port(out, unit["port"].get<std::string>());
    }
    return {};
}

std::string from_csv(const std::string& text, FailedPorts& out) {
    const CsvText csv = split_csv(text);
    if (!csv.error.empty()) return csv.error;
    if (csv.records.empty()) return "файл пуст";
    const auto& header = csv.records.front().cells;
    const auto port = std::find(header.begin(), header.end(), kPortColumn);
    const auto status = std::find(header.begin(), header.end(), kStatusColumn);
    if (port == header.end() || status == header.end()) {
        return "это не отчёт velkon-cli: нет столбцов «Порт» и «Код»";
    }
    const auto port_at = static_cast<std::size_t>(port - header.begin());
    const auto status_at = static_cast<std::size_t>(status - header.begin());
    for (std::size_t r = 1; r < csv.records.size(); ++r) {
        const CsvRecord& row = csv.records[r];
        if (row.cells.size() == 1 && row.cells[0].empty()) continue;  // an empty last line
        if (row.cells.size() != header.size()) {
            return "строка " + std::to_string(row.line) + ": ячеек " +
                   std::to_string(row.cells.size()) + ", а в строке заголовка " +
                   std::to_string(header.size());
        }
        ++out.units;
        if (row.cells[status_at] == "0") continue;
        add_port(out, row.cells[port_at]);
    }
    return {};
}

}  // namespace

FailedPorts failed_ports_of_report(const std::filesystem::path& path) {
    FailedPorts out;
    const std::string name = in_guillemets(path_text(path));
    const std::string extension = path_text(path.extension());
    if (extension == ".xlsx") {
        out.error = "Отчёт " + name +
                    " — таблица Excel, из неё порты не берутся; дайте отчёт той же работы в "
                    ".json или .csv (--report ОТЧЁТ.json).";
        return out;
    }
    if (extension != ".json" && extension != ".csv") {
        out.error = "Порты берутся из отчёта .json или .csv, а не " + name + ".";
        return out;
    }
    std::string text;
    if (std::string reason = read_file_bounded(path, kReportSizeLimit, text); !reason.empty()) {
        out.error = "Не удалось прочитать отчёт " + name + ": " + reason + ".";
        return out;
    }
    const std::string problem = extension == ".json" ? from_json(text, out) : from_csv(text, out);
    if (!problem.empty()) {
        out = {};
        out.error = "Отчёт " + name + " не прочитан: " + problem + ".";
    }
    return out;
}

}  // namespace velkon::cli
