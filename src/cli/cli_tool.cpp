#include "cli/cli_tool.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>

#include "cli/fleet_report.h"

namespace velkon::cli {

namespace {

constexpr const char* kHelpHint = "Справка: velkon-cli --help";
constexpr long kMaxCount = 100000;
constexpr long kMinTimeoutMs = 250;  // the driver's own wait for a first byte
constexpr long kMaxTimeoutMs = 60000;
constexpr long kMinIntervalMs = 100;
constexpr long kMaxIntervalMs = 24L * 3600 * 1000;

std::optional<long> whole_number(const std::string& text, long low, long high) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Seconds with a fraction ("0.5", "1,5", "10") as whole milliseconds.
std::optional<long> seconds_as_ms(const std::string& text) {
    const std::size_t point = text.find_first_of(".,");
    const std::string whole = text.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (fraction.size() > 3) return std::nullopt;
    fraction.resize(3, '0');
    const auto s = whole.empty() ? std::optional<long>(0) : whole_number(whole, 0, 86400);
    const auto ms = whole_number(fraction, 0, 999);
    if (!s || !ms || (point != std::string::npos && text.size() == point + 1)) return std::nullopt;
    return *s * 1000 + *ms;
}

struct OptionSpec {
    std::vector<std::string_view> names;
    OptionBit bit;
    const char* value;  // what follows, for messages; nullptr: a switch
    // Takes the value; "" or the problem.
    std::string (*take)(CommandLine& line, const std::string& value);
};

const std::vector<OptionSpec>& option_specs() {
    static const std::vector<OptionSpec> specs = {
        {{"--json"},
         kOptJson,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.json = true;
             return std::string();
         }},
        {{"--csv"},
         kOptCsv,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.csv = true;
             return std::string();
         }},
        {{"--all"},
         kOptAll,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.all = true;
             return std::string();
         }},
        {{"-l", "--long"},
         kOptLong,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.long_list = true;
             return std::string();
         }},
        {{"--console"},
         kOptConsole,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.console = true;
             return std::string();
         }},
        {{"--count"},
         kOptCount,
         "число",
         [](CommandLine& l, const std::string& v) {
             l.count = whole_number(v, 1, kMaxCount);
             if (l.count) return std::string();
             return "Число после --count должно быть целым, от 1 до " + std::to_string(kMaxCount) +
                    ", а не " + in_quotes(v) + ".";
         }},
        {{"--interval"},
         kOptInterval,
         "число секунд",
         [](CommandLine& l, const std::string& v) {
             const auto ms = seconds_as_ms(v);
             if (ms && *ms >= kMinIntervalMs && *ms <= kMaxIntervalMs) {
                 l.interval = std::chrono::milliseconds(*ms);
                 return std::string();
             }
             return "После --interval нужно число секунд от 0,1 до 86400, а не " + in_quotes(v) +
                    ".";
         }},
        {{"--timeout"},
         kOptTimeout,
         "число миллисекунд",
         [](CommandLine& l, const std::string& v) {
             const auto ms = whole_number(v, kMinTimeoutMs, kMaxTimeoutMs);
             if (ms) {
                 l.timeout = std::chrono::milliseconds(*ms);
                 return std::string();
             }
             return "После --timeout нужно целое число миллисекунд от " +
                    std::to_string(kMinTimeoutMs) + " до " + std::to_string(kMaxTimeoutMs) +
                    ", а не " + in_quotes(v) + ".";
         }},
        {{"-o", "--output"},
         kOptOutput,
         "имя файла",
         [](CommandLine& l, const std::string& v) {
             if (v.empty()) return std::string("После -o нужно имя файла.");
             l.output = v;
             return std::string();
         }},
        {{"--report"},
         kOptReport,
         "имя файла",
         [](CommandLine& l, const std::string& v) {
             std::string problem = report_name_problem(v);
             if (problem.empty()) l.report = v;
             return problem;
         }},
        {{"--set"},
         kOptSet,
         "ключ=значение",
         [](CommandLine& l, const std::string& v) {
             l.sets.push_back(v);
             return std::string();
         }},
        {{"--values"},
         kOptValues,
         "имя файла",
         [](CommandLine& l, const std::string& v) {
             if (v.empty()) return std::string("После --values нужно имя файла таблицы.");
             l.values = v;
             return std::string();
         }},
        {{"--values-optional"},
         kOptValuesOptional,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.values_optional = true;
             return std::string();
         }},
        {{"--unique"},
         kOptUnique,
         "ключ",
         [](CommandLine& l, const std::string& v) {
             if (v.empty()) return std::string("После --unique нужен ключ профиля.");
             l.unique.push_back(v);
             return std::string();
         }},
        {{"--dry-run"},
         kOptDryRun,
         nullptr,
         [](CommandLine& l, const std::string&) {
             l.dry_run = true;
             return std::string();
         }},
        {{"--only-failed"},
         kOptOnlyFailed,
         "имя отчёта",
         [](CommandLine& l, const std::string& v) {
             if (v.empty()) return std::string("После --only-failed нужно имя отчёта.");
             l.only_failed = v;
             return std::string();
         }},
    };
    return specs;
}

std::string option_name(std::uint32_t bit) {
    for (const OptionSpec& spec : option_specs()) {
        if (spec.bit == bit) return std::string(spec.names.back());
    }
    return {};
}

std::vector<std::string> split_words(std::string_view words) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < words.size()) {
        const std::size_t end = std::min(words.find(' ', at), words.size());
        out.emplace_back(words.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

#ifdef _WIN32
// A port is named as the device namespace has it (\\.\COM12) or by its name in the list, in any
// case: the system's names of devices are not case-sensitive. No COM port is the console.
constexpr const char* kPathSeparators = "\\/";

bool same_port_name(const std::string& listed, const std::string& given) {
    return std::equal(listed.begin(), listed.end(), given.begin(), given.end(), [](char a, char b) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

bool path_is_console(const std::string&, const std::vector<PortEntry>&) {
    return false;
}
#else
constexpr const char* kPathSeparators = "/";

bool same_port_name(const std::string& listed, const std::string& given) {
    return listed == given;
}

// A path is the console when it leads to one the list marks, or to the console device.
bool path_is_console(const std::string& name, const std::vector<PortEntry>& listed) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(name, ec);
    bool console = real == "/dev/console" || real == "/dev/tty0";
    for (const PortEntry& p : listed) {
        if (!p.console) continue;
        std::error_code ec2;
        if (fs::weakly_canonical(p.path, ec2) == real || p.path == name) console = true;
    }
    return console;
}
#endif

}  // namespace

std::string in_quotes(const std::string& text) {
    return "«" + text + "»";
}

std::string iso_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{}, utc{};
    ::localtime_r(&now, &local);
    ::gmtime_r(&now, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    // The offset from the two clocks, not strftime's %z: Windows' C library gives the zone's
    // name there. They are at most a day apart, across a year's end too.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    const int minutes = (days * 24 + local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min;
    const int shown = minutes < 0 ? -minutes : minutes;
    char offset[8];
    std::snprintf(offset, sizeof offset, "%c%02d:%02d", minutes < 0 ? '-' : '+', shown / 60 % 100,
                  shown % 60);
    return std::string(text, n) + offset;
}

int CliTool::usage_error(const std::string& message) {
    s_.err << message << "\n" << kHelpHint << "\n";
    return kBadInput;
}

int CliTool::run(const std::vector<std::string>& args) {
    if (args.empty()) {
        s_.err << help_text();
        return kBadInput;
    }
    CommandLine line;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help" || (i == 0 && a == "help")) {
            s_.out << help_text();
            return kDone;
        }
        if (a == "-V" || a == "--version") {
            s_.out << "velkon-cli " << VELKON_VERSION << "\n";
            return kDone;
        }
        if (a.size() < 2 || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        const OptionSpec* found = nullptr;
        std::optional<std::string> value;
        for (const OptionSpec& spec : option_specs()) {
            for (const std::string_view name : spec.names) {
                if (a == name) found = &spec;
                if (spec.value && a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
                    a[name.size()] == '=') {
                    found = &spec;
                    value = a.substr(name.size() + 1);
                }
            }
        }
        if (!found) return usage_error("Неизвестный параметр " + in_quotes(a) + ".");
        if (found->value && !value) {
            if (i + 1 >= args.size()) {
                return usage_error("После " + a + " нужно " + found->value + ".");
            }
            value = args[++i];
        }
        if (std::string problem = found->take(line, value.value_or("")); !problem.empty()) {
            return usage_error(problem);
        }
        line.given |= found->bit;
    }
    if (words.empty()) return usage_error("Не указана команда.");

    // The row whose words begin the command line; the longest wins.
    const CommandRow* row = nullptr;
    std::size_t row_words = 0;
    std::vector<std::string> follows;  // the second words of rows that share the first
    for (const CommandRow& r : command_table()) {
        const auto w = split_words(r.words);
        if (w[0] != words[0]) continue;
        if (w.size() > 1) follows.push_back(w[1]);
        if (w.size() > words.size() || w.size() <= row_words) continue;
        if (!std::equal(w.begin(), w.end(), words.begin())) continue;
        row = &r;
        row_words = w.size();
    }
    if (!row && !follows.empty()) {
        std::string choices;
        for (std::size_t i = 0; i < follows.size(); ++i) {
            choices += (i == 0 ? "" : i + 1 == follows.size() ? " или " : ", ") + follows[i];
        }
        return usage_error("После " + words[0] + " нужно " + choices +
                           (words.size() > 1 ? ", а не " + in_quotes(words[1]) : "") + ".");
    }
    if (!row) return usage_error("Неизвестная команда " + in_quotes(words[0]) + ".");
    const std::string name(row->words);
    line.args.assign(words.begin() + static_cast<std::ptrdiff_t>(row_words), words.end());
    if (line.args.size() < row->min_args) {
        return usage_error("Команде " + in_quotes(name) +
                           " не хватает аргументов: " + std::string(row->arguments) + ".");
    }
    if (line.args.size() > row->max_args) {
        return usage_error("Лишний аргумент " + in_quotes(line.args[row->max_args]) + ".");
    }
    if (const std::uint32_t stray = line.given & ~row->options) {
        return usage_error("Команда " + in_quotes(name) + " не знает " +
                           option_name(stray & ~(stray - 1)) + ".");
    }
    if (line.json && line.csv) return usage_error("Нужно что-то одно: --json или --csv.");
    return row->run(*this, line);
}

std::optional<NamedPort> CliTool::find_port(const std::string& name, std::ostream& say) {
    const std::vector<PortEntry> listed = s_.ports.list();
    if (name.find_first_of(kPathSeparators) != std::string::npos) {
        return NamedPort{name, name, path_is_console(name, listed)};
    }
    std::string known;
    for (const PortEntry& p : listed) {
        if (same_port_name(p.name, name)) return NamedPort{name, p.path, p.console};
        known += (known.empty() ? "" : ", ") + p.name;
    }
    say << "Порт " << in_quotes(name) << " не найден. "
        << (known.empty() ? "Последовательных портов нет." : "Порты: " + known + ".") << "\n";
    return std::nullopt;
}

UnitJobSettings CliTool::job_settings(const CommandLine& line) const {
    return {s_.make_port, line.timeout, line.console};
}

std::unique_ptr<SerialPort> CliTool::open_one(const CommandLine& line, const std::string& name,
                                              int& status) {
    const auto port = find_port(name, s_.err);
    if (!port) {
        status = kPortFailed;
        return nullptr;
    }
    UnitReport report;
    auto serial = open_unit_port(*port, job_settings(line), report);
    if (!serial) {
        s_.err << report.message << "\n";
        status = report.status;
    }
    return serial;
}

}  // namespace velkon::cli
