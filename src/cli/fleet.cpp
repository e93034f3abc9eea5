// Many units at once: each port on a worker thread of its own, a line per unit as it finishes,
// and a report that is the run's journal: replaced whole after every unit, and once more when a
// signal ends the run, so that what was done to which unit is never lost with the program.
#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "cli/fleet_report.h"
#include "files/file_error.h"
#include "files/file_write.h"
#include "profile/profile.h"
#include "serial/device_identity.h"

namespace velkon::cli {

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
}

using Job = std::function<UnitReport(const NamedPort&, UnitProgress&)>;
// Runs on the main thread as unit `i` finishes, before its line; may change any finished row
// (`done`); returns a status of its own (a file it could not write).
using AfterUnit =
    std::function<int(std::size_t i, std::vector<UnitReport>& rows, const std::vector<bool>& done)>;

// The progress line of a finished unit.
std::string progress_line(const UnitReport& u) {
    std::string line = u.port + ": " + std::string(outcome_row(u.outcome).word);
    if (!u.imei.empty()) line += "; IMEI " + u.imei;
    if (!u.sim.empty()) line += "; SIM " + u.sim;
    if (!u.serial.empty()) line += "; серийный номер " + u.serial;
    if (!u.firmware.empty()) line += "; версия ПО " + u.firmware;
    if (!u.differing.empty()) line += "; различия: " + joined(u.differing, ", ");
    // A unit done needs no more words; one that is not says why.
    if (u.status != kDone && !u.message.empty()) line += " — " + u.message;
    return line;
}

std::string signal_name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        case SIGPIPE:
            return "SIGPIPE";
    }
    return std::to_string(signal);
}

// The row of a unit still at work, or cut off by `signal` (0: none yet).
UnitReport unfinished_row(const std::string& port, const UnitProgress::Seen& seen, bool writes,
                          int signal) {
    UnitReport u;
    u.port = port;
    u.imei = seen.imei;
    u.sim = seen.sim;
    u.status = signal ? 128 + signal : kUnfinished;
    u.outcome = signal ? UnitOutcome::Interrupted : UnitOutcome::Unfinished;
    std::string what;
    if (writes) {
        switch (seen.stage) {
            case WriteStage::NotSent:
                what = "Кадр записи не отправлялся: трекер не изменён.";
                break;
            case WriteStage::Sent:
                what =
                    "Кадр записи отправлен, подтверждение не пришло: трекер может хранить "
                    "новую конфигурацию, прочитайте её.";
                break;
            case WriteStage::Acknowledged:
                what = "Трекер подтвердил запись; проверка чтением не закончена.";
                break;
        }
    }
    if (signal) {
        u.message = "Работа прервана сигналом " + signal_name(signal) + "." +
                    (what.empty() ? "" : " " + what);
    } else {
        u.message = what;
    }
    return u;
}

// Sets and takes away the hook a signal is told to.
class SignalHook {
  public:
    SignalHook(SignalNotice* notice, std::function<void(int)> hook) : notice_(notice) {
        if (notice_) notice_->on_signal(std::move(hook));
    }
    ~SignalHook() {
        if (notice_) notice_->on_signal({});
    }
    SignalHook(const SignalHook&) = delete;
    SignalHook& operator=(const SignalHook&) = delete;

  private:
    SignalNotice* notice_;
};

// The same port twice would be refused as busy by the second worker, or worse, written by both
// in turn: say so before any is opened. Names are one port when they lead to one device (a list
// name, its path, a link to it); a name not found is compared as written.
std::string named_twice(const std::vector<std::string>& names,
                        const std::vector<std::optional<NamedPort>>& ports) {
    std::vector<DeviceKey> keys;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (ports[i]) {
            keys.push_back(device_key(ports[i]->path));
        } else {
            keys.push_back({.path = names[i]});
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (names[j] == names[i]) return "Порт " + in_quotes(names[i]) + " назван дважды.";
            if (keys[j] == keys[i]) {
                return "Порты " + in_quotes(names[j]) + " и " + in_quotes(names[i]) +
                       " — одно устройство.";
            }
        }
    }
    return {};
}

// Runs `job` for every port on threads of their own; prints a line per unit as it finishes, keeps
// the report, and returns the worst status (128 + N when signal N ended the run).
int run_fleet(CliTool& tool, const CommandLine& line, const std::vector<std::string>& names,
              const std::string& profile, bool writes, const Job& job,
              const AfterUnit& after = {}) {
    RunFacts run{iso_time_now(), profile};
    // Every name is looked up before any port is opened: the list is read once, here.
    std::vector<std::optional<NamedPort>> ports;
    std::vector<UnitReport> reports(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::ostringstream why;
        ports.push_back(tool.find_port(names[i], why));
        if (!ports.back()) {
            reports[i].port = names[i];
            reports[i].status = kPortFailed;
            reports[i].outcome = UnitOutcome::PortNotFound;
            std::string message = why.str();
            if (!message.empty() && message.back() == '\n') message.pop_back();
            reports[i].message = message;
        }
    }
    if (const std::string twice = named_twice(names, ports); !twice.empty()) {
        return tool.usage_error(twice);
    }

    // The report is rewritten as the run goes only where a rewrite replaces it: a pipe or a
    // device named as the report gets it once, at the end.
    std::error_code ignored;
    const auto kind = line.report ? std::filesystem::status(*line.report, ignored).type()
                                  : std::filesystem::file_type::none;
    const bool journal = line.report && (kind == std::filesystem::file_type::not_found ||
                                         kind == std::filesystem::file_type::regular);
    std::vector<bool> done(names.size(), false);  // the main thread's: rows it has taken
    std::vector<UnitProgress> progress(names.size());
    auto report_text = [&](RunState state, int signal) {
        std::vector<UnitReport> rows;
        for (std::size_t i = 0; i < names.size(); ++i) {
            rows.push_back(done[i] ? reports[i]
                                   : unfinished_row(names[i], progress[i].seen(), writes, signal));
        }
        return report_bytes(*report_format(*line.report), rows, run, state);
    };
    int report_error = 0;
    auto write_report = [&](RunState state, int signal) {
        if (!line.report || (state == RunState::Running && !journal)) return;
        const ReportBytes report = report_text(state, signal);
        report_error = report.error ? report.error : write_output_file(*line.report, report.bytes);
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::size_t> finished;  // guarded by mutex
    int interrupted = 0;               // guarded by mutex: the signal that ends the run
    // Only the hook's flag is set here, by the thread the signal was told on: the report and
    // the lines are written on this one, as for every other unit.
    SignalHook hook(tool.seams().signal_notice, [&](int signal) {
        std::lock_guard lock(mutex);
        if (!interrupted) interrupted = signal;
        for (UnitProgress& p : progress) p.stop();
        changed.notify_all();
    });
    // An older report of this name must not stand for this run, even for the moments before the
    // first unit is done.
    write_report(RunState::Running, 0);

    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!ports[i]) {
            finished.push_back(i);
            continue;
        }
        workers.emplace_back([&, i] {
            UnitReport report = job(*ports[i], progress[i]);
            std::lock_guard lock(mutex);
            // After a signal the ports are closed under the workers: what they end with then
            // is not the unit's answer.
            if (interrupted) return;
            reports[i] = std::move(report);
            finished.push_back(i);
            changed.notify_all();
        });
    }
    int worst = kDone;
    bool output_ok = true;
    auto print = [&](const UnitReport& u) {
        if (!output_ok) return;
        tool.out() << (line.json ? unit_json_line(u) : progress_line(u)) << "\n";
        output_ok = static_cast<bool>(tool.out().flush());
    };
    int signal = 0;
    for (std::size_t count = 0; count < names.size(); ++count) {
        std::size_t i = 0;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return !finished.empty() || interrupted; });
            // A unit that finished before the signal keeps its row.
            if (finished.empty()) {
                signal = interrupted;
                break;
            }
            i = finished.front();
            finished.pop_front();
        }
        done[i] = true;
        if (after) worst = std::max(worst, after(i, reports, done));
        print(reports[i]);
        write_report(RunState::Running, 0);
    }
    if (signal) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!done[i]) print(unfinished_row(names[i], progress[i].seen(), writes, signal));
        }
    }
    write_report(signal ? RunState::Interrupted : RunState::Done, signal);

    std::size_t ok = 0, failed = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!done[i]) continue;
        worst = std::max(worst, reports[i].status);
        ++(reports[i].status == kDone ? ok : failed);
    }
    tool.err() << "Трекеров: " << names.size() << ", выполнено: " << ok
               << ", с ошибкой: " << failed;
    if (signal) tool.err() << ", прервано: " << names.size() - ok - failed;
    tool.err() << ".\n";
    if (report_error) {
        tool.err() << "Не удалось записать отчёт в файл " << in_quotes(*line.report) << ": "
                   << file_error_text(report_error) << ".\n";
        worst = std::max(worst, static_cast<int>(kOutputFailed));
    }
    if (!output_ok) worst = std::max(worst, static_cast<int>(kOutputFailed));
    // With the ports closed the workers end at once; without (no signal) they are done already.
    for (std::thread& worker : workers) worker.join();
    return signal ? 128 + signal : worst;
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
    return run_fleet(tool, line, names, line.args[0], true,
                     [&](const NamedPort& port, UnitProgress& progress) {
                         return write_unit(port, settings, profile, true, &progress);
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
    // The files of this run by name, with the unit each holds: a name is never written twice.
    std::map<std::string, std::size_t> written;
    std::set<std::string> refused;  // IMEIs two units told
    return run_fleet(
        tool, line, line.args, "", false,
        [&](const NamedPort& port, UnitProgress&) { return read_unit(port, settings, profiles); },
        [&](std::size_t i, std::vector<UnitReport>& rows, const std::vector<bool>&) -> int {
            UnitReport& u = rows[i];
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
            auto refuse = [&](UnitReport& r, const std::string& message) {
                r.status = kDeviceFailed;
                r.outcome = UnitOutcome::DuplicateImei;
                r.message = message;
            };
            const auto earlier = written.find(stem);
            if (usable && (earlier != written.end() || refused.contains(stem))) {
                // Which of the two profiles the name stands for cannot be told: neither is kept.
                std::string message = "Профиль не сохранён: IMEI " + stem + " назвали два блока";
                if (earlier != written.end()) {
                    UnitReport& first = rows[earlier->second];
                    message += " (порты " + in_quotes(first.port) + " и " + in_quotes(u.port) + ")";
                    std::error_code ignored;
                    std::filesystem::remove(file, ignored);
                    refuse(first, message + ".");
                    written.erase(earlier);
                }
                refuse(u, message + ".");
                refused.insert(stem);
                return kDone;
            }
            if (earlier != written.end()) {
                u.status = kDeviceFailed;
                u.outcome = UnitOutcome::NotSaved;
                u.message = "Профиль не сохранён: файл " + in_quotes(file.string()) +
                            " в этой работе уже записан для порта " +
                            in_quotes(rows[earlier->second].port) + ".";
                return kDone;
            }
            if (const int error = write_output_file(file, profile_text(*u.config))) {
                tool.err() << "Не удалось записать профиль в файл " << in_quotes(file.string())
                           << ": " << file_error_text(error) << ".\n";
                return kOutputFailed;
            }
            written.emplace(stem, i);
            return kDone;
        });
}

int run_fleet_imei(CliTool& tool, const CommandLine& line) {
    const UnitJobSettings settings = tool.job_settings(line);
    return run_fleet(tool, line, line.args, "", false, [&](const NamedPort& port, UnitProgress&) {
        return read_unit(port, settings, false);
    });
}

}  // namespace velkon::cli
