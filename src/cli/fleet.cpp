// Many units at once: each port on a worker thread of its own, a line per unit as it finishes,
// and a report that is the run's journal: replaced whole after every unit, and once more when a
// signal ends the run, so that what was done to which unit is never lost with the program.
//
// A write goes in two halves: every worker reads its unit (IMEI, SIM, record) and waits at a
// checkpoint; once all are there or finished, the main thread decides for the whole fleet (one
// IMEI told twice, the values table, the placeholders, values that must be each unit's own), and
// only then do the units that passed write. Nothing is written on what one unit alone shows.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "cli/earlier_report.h"
#include "cli/fleet_report.h"
#include "cli/values_table.h"
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

// One unit's turn on its worker thread.
struct UnitTurn {
    std::size_t index;  // in the order given
    const NamedPort& port;
    UnitProgress& progress;
    // For a job in two halves: waits, once the unit is through the first, until every unit is
    // through it or finished and the main thread has decided for all of them; false when a
    // signal has ended the run meanwhile.
    std::function<bool()> checkpoint;
};
using Job = std::function<UnitReport(UnitTurn&)>;
// Runs on the main thread once every unit is at the checkpoint or finished; `waiting` marks the
// units at the checkpoint, which go on when it returns.
using Decide = std::function<void(const std::vector<bool>& waiting)>;
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
    if (u.outcome == UnitOutcome::WouldChange) {
        std::vector<std::string> changes;
        for (const UnitReport::Change& c : u.changes) {
            changes.push_back(c.key + " «" + c.before + "» → «" + c.after + "»");
        }
        line += "; изменится: " + joined(changes, ", ");
    }
    // A unit done needs no more words; one that is not says why.
    if (u.status != kDone && !u.message.empty()) line += " — " + u.message;
    return line;
}

std::string signal_name(int signal) {
    constexpr std::pair<int, const char*> kNames[] = {{kSignalInterrupt, "SIGINT"},
                                                      {kSignalTerminate, "SIGTERM"},
                                                      {kSignalHangUp, "SIGHUP"},
                                                      {kSignalPipe, "SIGPIPE"}};
    for (const auto& [number, name] : kNames) {
        if (number == signal) return name;
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
              const std::string& profile, bool writes, const Job& job, const AfterUnit& after = {},
              const Decide& decide = {}) {
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
    const auto kind = line.report
                          ? std::filesystem::status(path_from_utf8(*line.report), ignored).type()
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
        report_error = report.error ? report.error
                                    : write_output_file(path_from_utf8(*line.report), report.bytes);
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::size_t> finished;  // guarded by mutex
    int interrupted = 0;               // guarded by mutex: the signal that ends the run
    // Guarded by mutex: the units at the checkpoint, the workers that finished without it, and
    // whether the main thread is deciding or has decided (a job in one half has nothing to
    // decide). A signal lets the units at the checkpoint go, but not while the decision is
    // being made over what they found.
    std::vector<bool> waiting(names.size(), false);
    std::size_t at_checkpoint = 0, finished_before = 0;
    bool decided = !decide, deciding = false;
    const auto working = static_cast<std::size_t>(
        std::count_if(ports.begin(), ports.end(), [](const auto& p) { return p.has_value(); }));
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
            UnitTurn turn{i, *ports[i], progress[i], [&, i] {
                              std::unique_lock lock(mutex);
                              waiting[i] = true;
                              ++at_checkpoint;
                              changed.notify_all();
                              changed.wait(lock,
                                           [&] { return !deciding && (decided || interrupted); });
                              return !interrupted;
                          }};
            UnitReport report = job(turn);
            std::lock_guard lock(mutex);
            if (!waiting[i]) ++finished_before;
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
    for (std::size_t count = 0; count < names.size();) {
        std::size_t i = 0;
        std::optional<std::vector<bool>> to_decide;
        {
            std::unique_lock lock(mutex);
            const auto all_there = [&] {
                return !decided && at_checkpoint + finished_before == working;
            };
            changed.wait(lock, [&] { return !finished.empty() || interrupted || all_there(); });
            // A unit that finished before the signal keeps its row.
            if (interrupted && finished.empty()) {
                signal = interrupted;
                break;
            }
            if (!finished.empty()) {
                i = finished.front();
                finished.pop_front();
            } else {
                to_decide = waiting;
                deciding = true;
            }
        }
        if (to_decide) {
            // The units at the checkpoint wait there, so what they found is not changing.
            decide(*to_decide);
            std::lock_guard lock(mutex);
            deciding = false;
            decided = true;
            changed.notify_all();
            continue;
        }
        ++count;
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

// "«a» и «b»", "«a», «b» и «c»".
std::string ports_text(const std::vector<std::string>& names,
                       const std::vector<std::size_t>& units) {
    std::string text;
    for (std::size_t k = 0; k < units.size(); ++k) {
        text += (k == 0 ? "" : k + 1 == units.size() ? " и " : ", ") + in_quotes(names[units[k]]);
    }
    return text;
}

std::optional<std::size_t> row_of_key(const std::string& key) {
    for (std::size_t row = 0; row < tracker_config_layout().size(); ++row) {
        if (profile_key_of_row(row) == key) return row;
    }
    return std::nullopt;
}

// The ports a fleet command runs on: those named from argument `first` on, or with --only-failed
// the ones an earlier report lists as not done. Nothing once the run ends here with `status`:
// a usage error, a report that cannot be used, or nothing left to do.
std::optional<std::vector<std::string>> fleet_ports(CliTool& tool, const CommandLine& line,
                                                    std::size_t first, const std::string& command,
                                                    const std::string& arguments, int& status) {
    const std::vector<std::string> named(line.args.begin() + static_cast<std::ptrdiff_t>(first),
                                         line.args.end());
    if (!line.only_failed) {
        if (named.empty()) {
            status = tool.usage_error("Команде " + in_quotes(command) +
                                      " не хватает аргументов: " + arguments + ".");
            return std::nullopt;
        }
        return named;
    }
    const std::string& earlier = *line.only_failed;
    if (!named.empty()) {
        status = tool.usage_error("С --only-failed порты берутся из отчёта " + in_quotes(earlier) +
                                  "; назван лишний порт " + in_quotes(named[0]) + ".");
        return std::nullopt;
    }
    std::error_code ignored;
    if (line.report && std::filesystem::equivalent(path_from_utf8(*line.report),
                                                   path_from_utf8(earlier), ignored)) {
        status = tool.usage_error("Отчёт этой работы заменил бы отчёт " + in_quotes(earlier) +
                                  ", из которого взяты порты: дайте --report другое имя.");
        return std::nullopt;
    }
    const FailedPorts failed = failed_ports_of_report(path_from_utf8(earlier));
    if (!failed) {
        tool.err() << failed.error << "\n";
        status = kBadInput;
        return std::nullopt;
    }
    if (failed.ports.empty()) {
        tool.err() << "Все трекеры в отчёте " << in_quotes(earlier) << " выполнены.\n";
        status = kDone;
        return std::nullopt;
    }
    tool.err() << "Из отчёта " << in_quotes(earlier) << " — трекеры, не выполненные в той работе ("
               << failed.ports.size() << " из " << failed.units
               << "): " << joined(failed.ports, ", ") << ".\n";
    return failed.ports;
}

// What a fleet write sets besides its profile, and what must differ between units.
struct FleetValues {
    const ProfileTemplate& profile;
    const std::optional<ValuesTable>& table;
    std::string table_name;
    bool rows_optional = false;
    std::vector<std::string> unique;  // profile keys
};

// A port's row names its device by any of its names: the list name, the path, a by-id link. The
// table holds each text once, and a device named by two rows would take either's values: that
// is refused as a row missing would be, rather than guessed.
const ValuesRow* port_row(const ValuesTable& table, const std::string& port) {
    if (const ValuesRow* row = table.row_for(port)) return row;
    const DeviceKey unit = device_key(device_path_for(port));
    if (unit.kind == DeviceKey::Kind::Absent) return nullptr;
    const ValuesRow* found = nullptr;
    for (const ValuesRow& row : table.rows) {
        if (device_key(device_path_for(row.key)) != unit) continue;
        if (found) return nullptr;
        found = &row;
    }
    return found;
}

// The decision before anything is written, over every unit identified: which units go on, with
// the values each is to get. A unit refused here gets its row in the report; the others their
// plan.
void decide_writes(std::vector<UnitOnPort>& units, const std::vector<bool>& waiting,
                   const std::vector<std::string>& names, const FleetValues& values,
                   std::vector<std::optional<FilledProfile>>& plans) {
    const std::size_t n = units.size();
    std::vector<bool> refused(n, false);
    auto refuse_unit = [&](std::size_t i, UnitOutcome outcome, int status,
                           const std::string& message) {
        if (!refused[i]) refuse(units[i].report, outcome, status, message);
        refused[i] = true;
    };

    // Two units that tell one IMEI cannot be told apart: which values are whose is unknown.
    std::map<std::string, std::vector<std::size_t>> by_imei;
    for (std::size_t i = 0; i < n; ++i) {
        if (waiting[i] && !units[i].report.imei.empty()) by_imei[units[i].report.imei].push_back(i);
    }
    for (const auto& [imei, group] : by_imei) {
        if (group.size() < 2) continue;
        for (const std::size_t i : group) {
            refuse_unit(i, UnitOutcome::DuplicateImei, kDeviceFailed,
                        "IMEI " + imei + " сообщили трекеры на портах " + ports_text(names, group) +
                            ": какой из них какой, не узнать, и ни один из них не записывается.");
        }
    }

    // Each unit's values: its row of the table over the profile, then the placeholders. Units
    // refused above are filled too, so that a third unit cannot take the value one of them holds.
    std::vector<std::optional<FilledProfile>> filled(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!waiting[i]) continue;
        const UnitReport& unit = units[i].report;
        std::vector<std::pair<std::string, std::string>> row_values;
        std::string at_row;
        if (values.table) {
            const ValuesTable& table = *values.table;
            const std::string key = table.key == ValuesKey::Imei     ? unit.imei
                                    : table.key == ValuesKey::Serial ? unit.serial
                                                                     : names[i];
            const ValuesRow* row =
                table.key == ValuesKey::Port ? port_row(table, key) : table.row_for(key);
            if (!row && !values.rows_optional) {
                refuse_unit(i, UnitOutcome::NoValues, kBadInput,
                            "В таблице значений " + in_quotes(values.table_name) +
                                " нет строки с " + std::string(values_key_words(table.key)) + " " +
                                (table.key == ValuesKey::Port ? in_quotes(key) : key) +
                                "; чтобы записать такие трекеры значениями профиля, добавьте "
                                "--values-optional.");
                continue;
            }
            if (row) {
                at_row = "Таблица значений " + in_quotes(values.table_name) + ", строка " +
                         std::to_string(row->line) + ": ";
                for (std::size_t c = 0; c < table.columns.size(); ++c) {
                    if (!row->values[c].empty()) {
                        row_values.emplace_back(table.columns[c], row->values[c]);
                    }
                }
            }
        }
        const ProfileTemplate profile =
            row_values.empty() ? values.profile : with_values(values.profile, row_values);
        if (!profile) {
            refuse_unit(i, UnitOutcome::Refused, kBadInput, at_row + profile.error);
            continue;
        }
        FilledProfile f = fill_profile(profile, {unit.imei, unit.sim, unit.serial, names[i], ""});
        if (!f) {
            const bool from_row = std::any_of(row_values.begin(), row_values.end(),
                                              [&](const auto& kv) { return kv.first == f.key; });
            refuse_unit(i, UnitOutcome::Refused, kBadInput, (from_row ? at_row : "") + f.refusal);
            continue;
        }
        // The table's values are filled in as well; the list goes in the record's order.
        for (const auto& [key, text] : row_values) {
            const bool listed = std::any_of(f.filled.begin(), f.filled.end(),
                                            [&](const auto& kv) { return kv.first == key; });
            const auto row = row_of_key(key);
            if (!listed && row) {
                f.filled.emplace_back(
                    key, value_text(f.config->values[*row], tracker_config_layout()[*row].kind));
            }
        }
        std::stable_sort(f.filled.begin(), f.filled.end(), [](const auto& a, const auto& b) {
            return row_of_key(a.first) < row_of_key(b.first);
        });
        units[i].report.filled = f.filled;
        filled[i] = std::move(f);
    }

    // A value that must be each unit's own, given to two: neither unit is written.
    std::vector<std::vector<std::string>> collisions(n);
    for (const std::string& key : values.unique) {
        const auto row = row_of_key(key);
        if (!row) continue;
        std::map<std::string, std::vector<std::size_t>> by_value;
        for (std::size_t i = 0; i < n; ++i) {
            if (!filled[i]) continue;
            by_value[value_text(filled[i]->config->values[*row],
                                tracker_config_layout()[*row].kind)]
                .push_back(i);
        }
        for (const auto& [value, group] : by_value) {
            if (group.size() < 2) continue;
            for (const std::size_t i : group) {
                collisions[i].push_back(key + " " + in_quotes(value) + " — у трекеров на портах " +
                                        ports_text(names, group));
            }
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (collisions[i].empty()) continue;
        refuse_unit(i, UnitOutcome::DuplicateValue, kBadInput,
                    "Значение, которое должно быть у каждого трекера своим, совпало: " +
                        joined(collisions[i], "; ") + ". Ни один из них не записывается.");
    }

    for (std::size_t i = 0; i < n; ++i) {
        if (waiting[i] && !refused[i]) plans[i] = std::move(filled[i]);
    }
}

}  // namespace

int run_fleet_write(CliTool& tool, const CommandLine& line) {
    const ProfileTemplate profile = load_profile_template(path_from_utf8(line.args[0]), line.sets);
    if (!profile) {
        tool.err() << profile.error << "\n";
        return kBadInput;
    }
    if (line.values_optional && !line.values) {
        return tool.usage_error("--values-optional действует только вместе с --values.");
    }
    std::vector<std::string> unique = {"device_id"};
    for (const std::string& key : line.unique) {
        if (!is_profile_key(profile, key)) {
            return tool.usage_error("Неизвестный ключ " + in_quotes(key) + " в --unique.");
        }
        if (std::find(unique.begin(), unique.end(), key) == unique.end()) unique.push_back(key);
    }
    std::optional<ValuesTable> table;
    if (line.values) {
        ValuesLoad loaded =
            load_values_table(path_from_utf8(*line.values),
                              [&](const std::string& key) { return is_profile_key(profile, key); });
        if (!loaded) {
            tool.err() << loaded.error << "\n";
            return kBadInput;
        }
        table = std::move(loaded.table);
    }
    int status = kDone;
    const auto names = fleet_ports(tool, line, 1, "fleet write", "ФАЙЛ ПОРТ…", status);
    if (!names) return status;

    const UnitJobSettings settings = tool.job_settings(line);
    // A unit's first half and the plan decided for it: each worker its own, the plans written by
    // the main thread while the workers wait at the checkpoint.
    std::vector<UnitOnPort> units(names->size());
    std::vector<std::optional<FilledProfile>> plans(names->size());
    const FleetValues values{profile, table, line.values.value_or(""), line.values_optional,
                             unique};
    return run_fleet(
        tool, line, *names, line.args[0], true,
        [&](UnitTurn& turn) {
            UnitOnPort& unit = units[turn.index];
            unit = reach_unit(turn.port, settings, true, true, &turn.progress);
            if (unit.ready() && turn.checkpoint() && plans[turn.index]) {
                write_filled(unit, *plans[turn.index], line.dry_run, &turn.progress);
            }
            unit.close();
            return unit.report;
        },
        {},
        [&](const std::vector<bool>& waiting) {
            decide_writes(units, waiting, *names, values, plans);
        });
}

int run_fleet_read(CliTool& tool, const CommandLine& line) {
    int status = kDone;
    const auto names = fleet_ports(tool, line, 0, "fleet read", "ПОРТ…", status);
    if (!names) return status;
    const UnitJobSettings settings = tool.job_settings(line);
    const bool profiles = line.output.has_value();
    if (profiles) {
        if (const int error = make_own_folder(path_from_utf8(*line.output))) {
            tool.err() << "Не удалось создать папку " << in_quotes(*line.output) << ": "
                       << file_error_text(error) << ".\n";
            return kOutputFailed;
        }
    }
    // The files of this run by name, with the unit each holds: a name is never written twice.
    std::map<std::string, std::size_t> written;
    std::set<std::string> refused;  // IMEIs two units told
    return run_fleet(
        tool, line, *names, "", false,
        [&](UnitTurn& turn) { return read_unit(turn.port, settings, profiles); },
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
            const auto file = path_from_utf8(*line.output) / path_from_utf8(stem + ".json");
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
                u.message = "Профиль не сохранён: файл " + in_quotes(path_text(file)) +
                            " в этой работе уже записан для порта " +
                            in_quotes(rows[earlier->second].port) + ".";
                return kDone;
            }
            if (const int error = write_output_file(file, profile_text(*u.config))) {
                tool.err() << "Не удалось записать профиль в файл " << in_quotes(path_text(file))
                           << ": " << file_error_text(error) << ".\n";
                return kOutputFailed;
            }
            written.emplace(stem, i);
            return kDone;
        });
}

int run_fleet_imei(CliTool& tool, const CommandLine& line) {
    int status = kDone;
    const auto names = fleet_ports(tool, line, 0, "fleet imei", "ПОРТ…", status);
    if (!names) return status;
    const UnitJobSettings settings = tool.job_settings(line);
    return run_fleet(tool, line, *names, "", false,
                     [&](UnitTurn& turn) { return read_unit(turn.port, settings, false); });
}

}  // namespace velkon::cli
