// Many units at once: each port on a worker thread of its own, a line per unit as it finishes,
// a report file at the end, and the worst exit status of the units.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "files/file_error.h"
#include "files/file_write.h"
#include "profile/profile.h"

namespace velkon::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A CSV cell as a spreadsheet reads it: quoted when it holds the separator, a quote or a line.
std::string csv_cell(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

std::string report_csv(const std::vector<UnitReport>& units) {
    std::string text(kUtf8Bom);
    text += "Порт;IMEI;SIM;Серийный номер;Версия ПО;Результат;Код;Различия;Сообщение\r\n";
    for (const UnitReport& u : units) {
        const std::string cells[] = {u.port,
                                     u.imei,
                                     u.sim,
                                     u.serial,
                                     u.firmware,
                                     u.result,
                                     std::to_string(u.status),
                                     joined(u.differing, ", "),
                                     u.message};
        std::string row;
        for (const std::string& cell : cells) row += (row.empty() ? "" : ";") + csv_cell(cell);
        text += row + "\r\n";
    }
    return text;
}

Json unit_json(const UnitReport& u) {
    return {{"port", u.port},     {"imei", u.imei},           {"sim", u.sim},
            {"serial", u.serial}, {"firmware", u.firmware},   {"result", u.result},
            {"status", u.status}, {"differing", u.differing}, {"message", u.message}};
}

std::string report_json(const std::vector<UnitReport>& units) {
    Json rows = Json::array();
    for (const UnitReport& u : units) rows.push_back(unit_json(u));
    return rows.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

using Job = std::function<UnitReport(const NamedPort&)>;

// The progress line of a finished unit.
std::string progress_line(const UnitReport& u) {
    std::string line = u.port + ": " + u.result;
    if (!u.imei.empty()) line += "; IMEI " + u.imei;
    if (!u.sim.empty()) line += "; SIM " + u.sim;
    if (!u.serial.empty()) line += "; серийный номер " + u.serial;
    if (!u.firmware.empty()) line += "; версия ПО " + u.firmware;
    if (!u.differing.empty()) line += "; различия: " + joined(u.differing, ", ");
    // A unit done needs no more words; one that is not says why.
    if (u.status != kDone && !u.message.empty()) line += " — " + u.message;
    return line;
}

// Runs `job` for every port on threads of their own; prints a line per unit as it finishes
// (`extra` adds its own lines), then the report; returns the worst status.
int run_fleet(CliTool& tool, const CommandLine& line, const std::vector<std::string>& names,
              const Job& job, const std::function<int(const UnitReport&)>& extra = {}) {
    // The same port twice would be refused as busy by the second worker: say so now.
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (!seen.insert(name).second) {
            return tool.usage_error("Порт " + in_quotes(name) + " назван дважды.");
        }
    }
    // Every name is looked up before any port is opened: the list is read once, here.
    std::vector<std::optional<NamedPort>> ports;
    std::vector<UnitReport> reports(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::ostringstream why;
        ports.push_back(tool.find_port(names[i], why));
        if (!ports.back()) {
            reports[i].port = names[i];
            reports[i].status = kPortFailed;
            reports[i].result = "порт не найден";
            std::string message = why.str();
            if (!message.empty() && message.back() == '\n') message.pop_back();
            reports[i].message = message;
        }
    }

    std::mutex mutex;
    std::condition_variable finished_changed;
    std::deque<std::size_t> finished;  // guarded by mutex
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!ports[i]) {
            finished.push_back(i);
            continue;
        }
        workers.emplace_back([&, i] {
            UnitReport report = job(*ports[i]);
            std::lock_guard lock(mutex);
            reports[i] = std::move(report);
            finished.push_back(i);
            finished_changed.notify_one();
        });
    }
    int worst = kDone;
    bool output_ok = true;
    for (std::size_t done = 0; done < names.size(); ++done) {
        std::size_t i = 0;
        {
            std::unique_lock lock(mutex);
            finished_changed.wait(lock, [&] { return !finished.empty(); });
            i = finished.front();
            finished.pop_front();
        }
        const UnitReport& u = reports[i];
        worst = std::max(worst, u.status);
        if (output_ok) {
            tool.out() << (line.json
                               ? unit_json(u).dump(-1, ' ', false, Json::error_handler_t::replace)
                               : progress_line(u))
                       << "\n";
            if (extra) worst = std::max(worst, extra(u));
            output_ok = static_cast<bool>(tool.out().flush());
        }
    }
    for (std::thread& worker : workers) worker.join();

    const int ok = static_cast<int>(std::count_if(reports.begin(), reports.end(),
                                                  [](const UnitReport& u) { return !u.status; }));
    tool.err() << "Трекеров: " << reports.size() << ", выполнено: " << ok
               << ", с ошибкой: " << reports.size() - static_cast<std::size_t>(ok) << ".\n";
    if (line.report) {
        const bool csv = line.report->ends_with(".csv");
        const std::string text = csv ? report_csv(reports) : report_json(reports);
        if (const int error = write_output_file(*line.report, text)) {
            tool.err() << "Не удалось записать отчёт в файл " << in_quotes(*line.report) << ": "
                       << file_error_text(error) << ".\n";
            worst = std::max(worst, static_cast<int>(kOutputFailed));
        }
    }
    if (!output_ok) worst = std::max(worst, static_cast<int>(kOutputFailed));
    return worst;
}

}  // namespace

int run_fleet_write(CliTool& tool, const CommandLine& line) {
    const ProfileTemplate profile = load_profile_template(line.args[0], line.sets);
    if (!profile) {
        tool.err() << profile.error << "\n";
        return kBadInput;
    }
    const UnitJobSettings settings = tool.job_settings(line);
    const std::vector<std::string> names(line.args.begin() + 1, line.args.end());
    return run_fleet(tool, line, names, [&](const NamedPort& port) {
        return write_unit(port, settings, profile, true);
    });
}

int run_fleet_read(CliTool& tool, const CommandLine& line) {
    const UnitJobSettings settings = tool.job_settings(line);
    const bool profiles = line.output.has_value();
    if (profiles) {
        if (const int error = make_own_folder(*line.output)) {
            tool.err() << "Не удалось создать папку " << in_quotes(*line.output) << ": "
                       << file_error_text(error) << ".\n";
            return kOutputFailed;
        }
    }
    return run_fleet(
        tool, line, line.args,
        [&](const NamedPort& port) { return read_unit(port, settings, profiles); },
        [&](const UnitReport& u) -> int {
            if (!profiles || !u.config) return kDone;
            // The IMEI names the file; one the unit did not tell, or one that is no file name,
            // falls back to the port's name.
            std::string stem = u.imei;
            const bool usable = !stem.empty() && std::all_of(stem.begin(), stem.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            });
            if (!usable) stem = port_placeholder_value(u.port);
            std::replace(stem.begin(), stem.end(), '/', '-');
            const auto file = std::filesystem::path(*line.output) / (stem + ".json");
            if (const int error = write_output_file(file, profile_text(*u.config))) {
                tool.err() << "Не удалось записать профиль в файл " << in_quotes(file.string())
                           << ": " << file_error_text(error) << ".\n";
                return kOutputFailed;
            }
            return kDone;
        });
}

int run_fleet_imei(CliTool& tool, const CommandLine& line) {
    const UnitJobSettings settings = tool.job_settings(line);
    return run_fleet(tool, line, line.args,
                     [&](const NamedPort& port) { return read_unit(port, settings, false); });
}

}  // namespace velkon::cli
