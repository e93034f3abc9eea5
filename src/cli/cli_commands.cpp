// The table of velkon-cli's commands, the help text, and the commands for one port.
#include <limits>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/commands.h"
#include "cli/unit_link.h"
#include "files/file_error.h"
#include "files/file_write.h"
#include "profile/profile.h"
#include "sensor/readings.h"
#include "sensor/sensor_commands.h"
#include "tracker/tracker.h"

namespace velkon::cli {

namespace {

constexpr std::size_t kMany = std::numeric_limits<std::size_t>::max();

using Json = nlohmann::ordered_json;

constexpr CommandRow kCommands[] = {
    {"ports", "", 0, 0, kOptAll | kOptLong | kOptJson, run_ports},
    {"readings", "ПОРТ", 1, 1, kOptPort | kOptJson | kOptCsv | kOptCount | kOptInterval,
     run_readings},
    {"live", "ПОРТ", 1, 1, kOptPort | kOptJson | kOptCsv | kOptCount | kOptInterval, run_live},
    {"config read", "ПОРТ", 1, 1, kOptPort | kOptOutput, run_config_read},
    {"config write", "ПОРТ ФАЙЛ", 2, 2, kOptPort | kOptSet, run_config_write},
    {"imei", "ПОРТ", 1, 1, kOptPort | kOptJson, run_imei},
    // The ports of a fleet may come from an earlier report (--only-failed): fleet.cpp wants them
    // when they do not.
    {"fleet write", "ФАЙЛ ПОРТ…", 1, kMany,
     kOptPort | kOptSet | kOptReport | kOptValues | kOptValuesOptional | kOptUnique | kOptDryRun |
         kOptOnlyFailed,
     run_fleet_write},
    {"fleet read", "ПОРТ…", 0, kMany, kOptPort | kOptReport | kOptOutput | kOptOnlyFailed,
     run_fleet_read},
    {"fleet imei", "ПОРТ…", 0, kMany, kOptPort | kOptReport | kOptJson | kOptOnlyFailed,
     run_fleet_imei},
    {"tank report", "СЕАНС", 1, 1, kOptOutput, run_tank_report},
};

Json number_or_text(const std::string& text) {
    const Json parsed = Json::parse(text, nullptr, false);
    return parsed.is_number() ? parsed : Json(text);
}

// One line of a log: its text, its JSON object and its CSV cells; nullopt when the answer is
// not one the line can be made of.
struct LogLine {
    std::string text;
    Json json;
    std::vector<std::string> cells;
};

struct Watched {
    Frame request;
    std::uint8_t code;
    std::size_t min_size;
    std::vector<std::string> csv_header;
    std::optional<LogLine> (*decode)(const Frame& answer);
};

std::optional<LogLine> readings_line(const Frame& answer) {
    const auto r = decode_readings(answer);
    if (!r) return std::nullopt;
    LogLine line;
    line.text = "Уровень " + std::to_string(r->level) + "; Температура " +
                std::to_string(int{r->temperature}) + " °C; Текущий " + std::to_string(r->current) +
                "; Полный " + std::to_string(r->full) + "; Пустой " + std::to_string(r->empty) +
                "; Сетевой адрес " + std::to_string(int{r->address});
    line.json = {{"level", r->level},     {"temperature", r->temperature},
                 {"current", r->current}, {"full", r->full},
                 {"empty", r->empty},     {"address", r->address}};
    for (const auto& [key, value] : line.json.items()) line.cells.push_back(value.dump());
    return line;
}

// The live data as the «Трекер» page shows it: captions and JSON keys by control.
struct LiveItem {
    ControlName control;
    std::string_view caption, key, unit;
};
constexpr LiveItem kLiveItems[] = {
    {ctl::sputn, "Спутников", "satellites", ""},
    {ctl::gsm, "GSM", "gsm", ""},
    {ctl::ain3, "Пит", "supply", " В"},
    {ctl::traf, "Трафик", "traffic", ""},
    {ctl::ns, "С/Ш", "snr", ""},
    {ctl::ain1, "Аналог 1", "analog1", " В"},
    {ctl::ain2, "Аналог 2", "analog2", " В"},
    {ctl::fin1, "Частота 1", "frequency1", ""},
    {ctl::fin2, "Частота 2", "frequency2", ""},
    {ctl::in1, "Вход 1", "input1", ""},
    {ctl::in2, "Вход 2", "input2", ""},
    {ctl::ProgressBar1, "Уровень", "level", ""},
};
constexpr int kChannels = 8;

std::optional<LogLine> live_line(const Frame& answer) {
    const auto values = decode_live_data(answer, ".");
    auto find = [&](ControlName control) -> const std::string* {
        for (const LiveValue& v : values) {
            if (v.control == control) return &v.text;
        }
        return nullptr;
    };
    LogLine line;
    for (const LiveItem& item : kLiveItems) {
        const std::string* text = find(item.control);
        line.cells.push_back(text ? *text : "");
        if (!text) continue;
        line.json[std::string(item.key)] = number_or_text(*text);
        line.text += (line.text.empty() ? "" : "; ") + std::string(item.caption) + " " + *text +
                     std::string(item.unit);
    }
    Json channels = Json::array();
    std::string shown;
    for (int c = 1; c <= kChannels; ++c) {
        const std::string* text = find(ctl::channel_level[static_cast<std::size_t>(c - 1)]);
        line.cells.push_back(text ? *text : "");
        if (!text) continue;
        channels.push_back(number_or_text(*text));
        shown += " " + *text;
    }
    if (!channels.empty()) {
        line.json["channels"] = channels;
        line.text += "; Каналы RS-485" + shown;
    }
    return line;
}

std::vector<std::string> live_header() {
    std::vector<std::string> header;
    for (const LiveItem& item : kLiveItems) header.emplace_back(item.key);
    for (int c = 1; c <= kChannels; ++c) header.push_back("channel" + std::to_string(c));
    return header;
}

std::string csv_row(const std::string& time, const std::vector<std::string>& cells,
                    const std::string& message) {
    std::string row = time;
    for (const std::string& cell : cells) row += ";" + cell;
    return row + ";" + message;
}

// Asks every --interval until --count lines are out, or until stopped: a gap is a line of its
// own and the next tick asks again.
//
// A port that goes away under the log (the adapter pulled out: a hang-up, or a write that fails)
// is closed, and each following tick opens it again, once, at the path found at the start and the
// way the first open did it, so an adapter plugged back in gets the same line settings. Until it
// opens each tick is a gap saying why; the tick that opens it says so before its data.
int watch(CliTool& tool, const CommandLine& line, const Watched& what) {
    const auto named = tool.find_port(line.args[0], tool.err());
    if (!named) return kPortFailed;
    const UnitJobSettings settings = tool.job_settings(line);
    UnitReport opened;
    std::unique_ptr<SerialPort> port = open_unit_port(*named, settings, opened);
    if (!port) {
        tool.err() << opened.message << "\n";
        return opened.status;
    }
    // Declared after the port it refers to, so it is destroyed first.
    std::optional<UnitLink> link(std::in_place, *port, line.timeout);
    const auto interval = line.interval.value_or(tool.readings_interval());
    if (line.csv) {
        tool.out() << csv_row("time", what.csv_header, "message") << "\n";
    }
    bool gaps = false;
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; !line.count || n < *line.count; ++n) {
        if (n > 0) std::this_thread::sleep_until(start + n * interval);
        std::string why;
        std::optional<LogLine> decoded;
        if (!port) {
            UnitReport again;
            port = open_unit_port(*named, settings, again);
            if (port) {
                link.emplace(*port, line.timeout);
                // A note, not data: in JSON and CSV it would break the rows a script reads.
                std::ostream& notes = line.json || line.csv ? tool.err() : tool.out();
                notes << iso_time_now() << " Порт " << in_quotes(named->name) << " снова открыт.\n";
            } else {
                why = again.message;
            }
        }
        if (port) {
            const Exchange answer = link->ask(what.request, what.code, what.min_size);
            decoded = answer ? what.decode(answer.answer) : std::nullopt;
            const bool gone = port->hung_up();
            if (gone) {
                why = "Порт " + in_quotes(named->name) + " отключён.";
            } else if (!decoded) {
                why = answer ? std::string("ответ неполный.") : answer.message();
            }
            if (gone || answer.outcome == Exchange::Outcome::WriteFailed) {
                link.reset();
                port->ClosePort();
                port.reset();
            }
        }
        const std::string time = iso_time_now();
        if (decoded) {
            if (line.json) {
                Json json = {{"time", time}};
                json.update(decoded->json);
                tool.out() << json.dump() << "\n";
            } else if (line.csv) {
                tool.out() << csv_row(time, decoded->cells, "") << "\n";
            } else {
                tool.out() << decoded->text << "\n";
            }
        } else {
            gaps = true;
            why = "Нет данных: " + why;
            if (line.json) {
                tool.out() << Json({{"time", time}, {"gap", why}}).dump() << "\n";
            } else if (line.csv) {
                tool.out() << csv_row(time, std::vector<std::string>(what.csv_header.size()), why)
                           << "\n";
            } else {
                tool.out() << time << " " << why << "\n";
            }
        }
        // Output nobody can take any more ends the log; the caller says why.
        if (!tool.out().flush()) return kOutputFailed;
    }
    return gaps ? kDeviceFailed : kDone;
}

}  // namespace

std::span<const CommandRow> command_table() {
    return kCommands;
}

// One port a line, its name first: "for p in $(velkon-cli ports)" takes the names alone. With
// --long the stable names follow, tab-separated; they all begin with "/", so a script tells them
// from the word «консоль».
int run_ports(CliTool& tool, const CommandLine& line) {
    std::vector<PortEntry> ports = tool.ports().list();
    if (line.long_list || line.json) tool.ports().add_stable_names(ports);
    if (ports.empty()) tool.err() << "Последовательные порты не найдены.\n";
    Json shown = Json::array();
    for (const PortEntry& p : ports) {
        if (p.console && !line.all) {
            tool.err() << "Порт " << p.name
                       << " — консоль системы, не показан (все порты: velkon-cli ports --all).\n";
            continue;
        }
        if (line.json) {
            shown.push_back({{"name", p.name},
                             {"path", p.path},
                             {"by_id", p.by_id},
                             {"by_path", p.by_path},
                             {"console", p.console}});
            continue;
        }
        tool.out() << p.name;
        if (p.console) tool.out() << "\tконсоль";
        if (line.long_list) {
            for (const std::string& name : p.by_id) tool.out() << "\t" << name;
            for (const std::string& name : p.by_path) tool.out() << "\t" << name;
        }
        tool.out() << "\n";
    }
    if (line.json) {
        tool.out() << shown.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    }
    return kDone;
}

int run_readings(CliTool& tool, const CommandLine& line) {
    return watch(tool, line,
                 {readings_request(),
                  code::kReadings,
                  kReadingsMinSize,
                  {"level", "temperature", "current", "full", "empty", "address"},
                  readings_line});
}

int run_live(CliTool& tool, const CommandLine& line) {
    return watch(tool, line,
                 {live_data_request(), code::kLiveData, kLiveAnswerMin, live_header(), live_line});
}

int run_imei(CliTool& tool, const CommandLine& line) {
    int status = kDone;
    auto port = tool.open_one(line, line.args[0], status);
    if (!port) return status;
    UnitLink link(*port, line.timeout);
    const Exchange answer = link.ask(imei_request(), code::kImei, kImeiAnswerFrame);
    if (!answer) {
        tool.err() << answer.message() << "\n";
        return kDeviceFailed;
    }
    const ImeiAnswer fields = decode_imei_answer(answer.answer);
    if (line.json) {
        const Json json = {{"imei", fields.imei}, {"sim", fields.sim}};
        tool.out() << json.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
    } else {
        tool.out() << "IMEI " << fields.imei << "\nSIM " << fields.sim << "\n";
    }
    return kDone;
}

int run_config_read(CliTool& tool, const CommandLine& line) {
    int status = kDone;
    auto port = tool.open_one(line, line.args[0], status);
    if (!port) return status;
    UnitLink link(*port, line.timeout);
    const Exchange answer =
        link.ask(configuration_read_request(), code::kConfigRead, kConfigAnswerFrame);
    if (!answer) {
        tool.err() << answer.message() << "\n";
        return kDeviceFailed;
    }
    const TrackerConfig config = decode_config_answer(answer.answer);
    if (const std::string odd = check_values(config); !odd.empty()) {
        tool.err() << "Внимание: трекер хранит значение, которое профиль не примет при загрузке. "
                   << odd << "\n";
    }
    const std::string text = profile_text(config);
    if (!line.output) {
        tool.out() << text;
        return kDone;
    }
    if (const int error = write_output_file(path_from_utf8(*line.output), text)) {
        tool.err() << "Не удалось записать профиль в файл " << in_quotes(*line.output) << ": "
                   << file_error_text(error) << ".\n";
        return kOutputFailed;
    }
    return kDone;
}

int run_config_write(CliTool& tool, const CommandLine& line) {
    // The profile is checked whole before the port is touched: a bad one sends nothing.
    const ProfileTemplate profile = load_profile_template(path_from_utf8(line.args[1]), line.sets);
    if (!profile) {
        tool.err() << profile.error << "\n";
        return kBadInput;
    }
    const auto port = tool.find_port(line.args[0], tool.err());
    if (!port) return kPortFailed;
    const UnitReport report = write_unit(*port, tool.job_settings(line), profile, false);
    tool.err() << report.message << "\n";
    for (const std::string& difference : report.difference_lines) {
        tool.err() << "  " << difference << "\n";
    }
    return report.status;
}

// Every result a unit can end with, from the table: the word, the JSON code, what it means.
std::string results_help() {
    std::string text =
        "Результаты по трекерам (в строке и в отчёте — слово, в JSON \"result\" и в столбце "
        "«Код результата» — код):\n";
    for (const OutcomeRow& row : outcome_table()) {
        text += "  " + std::string(row.word) + " (" + std::string(row.code) + ") — " +
                std::string(row.meaning) + "\n";
    }
    return text;
}

// What the help says differently on each system: the names of ports, the report formats built
// in, how a program is ended from outside.
struct PlatformHelp {
    std::string_view ports;
    std::string_view report;
    std::string_view console;
    std::string_view long_list;
    std::string_view port;
    std::string_view examples;
    std::string_view signals;
};

#ifdef _WIN32
constexpr PlatformHelp kPlatformHelp = {
    R"(  ports          COM-порты, по одному в строке, в том же порядке, что в окне: COM1…COM30
                 по номерам, затем порты с большими номерами; постоянных имён у COM-портов
                 нет (они есть только в Linux), и -l ничего не добавляет
)",
    R"(  --report ОТЧЁТ       отчёт по трекерам, переписывается после каждого трекера: ОТЧЁТ.csv
                       (для Excel: «;», UTF-8 с BOM) или ОТЧЁТ.json (книги Excel пишет
                       только сборка для Linux); столбцы: порт, IMEI, SIM, серийный номер,
)",
    R"(  --console            разрешить открыть порт, который служит консолью системы (есть
                       только в Linux; в Windows параметр ничего не меняет)
)",
    R"(  -l, --long           у ports: постоянные имена портов (by-id, by-path; только в Linux)
)",
    R"(ПОРТ — имя COM-порта (COM3, можно строчными буквами: com3) или путь к нему (\\.\COM12).
Постоянных имён (by-id) у COM-портов нет: номер порта адаптера хранит Windows. Имена одного
устройства — один порт: fleet не примет порт, названный дважды, даже разными именами (COM3 и
\\.\COM3; код 2).

)",
    R"(Примеры:
  velkon-cli ports --json
  velkon-cli imei COM3
  velkon-cli imei \\.\COM12 --json
  velkon-cli readings COM3 --count 3
  velkon-cli readings COM3 --interval 60 --csv >> журнал.csv
  velkon-cli live COM3 --count 1 --json
  velkon-cli config read COM3 -o truck.json
  velkon-cli config write COM3 truck.json --set period=120 --set "channels[3].address=7"
  velkon-cli imei COM3 --json --timeout 1000
  velkon-cli fleet write truck.json COM3 COM4 --set "device_id={imei:10}" --report парк.csv
  velkon-cli fleet write truck.json COM3 COM4 --values значения.csv --dry-run
  velkon-cli fleet write truck.json --only-failed парк.csv --values значения.csv
  velkon-cli fleet read COM3 COM4 -o профили --report парк.json
  velkon-cli fleet imei COM3 COM4 --json
  velkon-cli tank report бак.tarirovka -o бак.pdf

)",
    R"(  130    прервана: Ctrl+C или Ctrl+Break (как SIGINT в Linux)
  129    закрыто окно консоли, выход из системы или её выключение (как SIGHUP)
         Порты возвращены в прежнее состояние.
)",
};
#else
constexpr PlatformHelp kPlatformHelp = {
    R"(  ports          последовательные порты, по одному в строке, в том же порядке, что в окне;
                 консоль системы (например, ttyS0) не показывается, с --all показывается
                 со словом «консоль» во втором столбце; с -l после имени через табуляцию
                 идут постоянные имена порта: /dev/serial/by-id/… (модель и серийный
                 номер адаптера) и /dev/serial/by-path/… (гнездо USB)
)",
    R"(  --report ОТЧЁТ       отчёт по трекерам, переписывается после каждого трекера: ОТЧЁТ.csv
                       (для Excel: «;», UTF-8 с BOM), ОТЧЁТ.json или ОТЧЁТ.xlsx (книга
                       Excel, лист «Трекеры»: сверху начало работы, профиль, версия
                       программы, состояние); столбцы: порт, IMEI, SIM, серийный номер,
)",
    R"(  --console            разрешить открыть порт, который служит консолью системы
)",
    R"(  -l, --long           у ports: постоянные имена портов (by-id, by-path)
)",
    R"(ПОРТ — путь к устройству (/dev/ttyUSB0), постоянное имя (/dev/serial/by-id/…) или имя из
списка ports (ttyUSB0). Номер ttyUSB меняется от подключения к подключению, имя by-id у
адаптера остаётся тем же. Имена одного устройства — один порт: fleet не примет порт,
названный дважды, даже разными именами (код 2).

)",
    R"(Примеры:
  velkon-cli ports --all
  velkon-cli ports --long
  velkon-cli imei /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
  velkon-cli readings ttyUSB0 --count 3
  velkon-cli readings ttyUSB0 --interval 60 --csv >> журнал.csv
  velkon-cli live ttyUSB0 --count 1 --json
  velkon-cli config read ttyUSB0 -o truck.json
  velkon-cli config write ttyUSB0 truck.json --set period=120 --set 'channels[3].address=7'
  velkon-cli imei ttyUSB0 --json --timeout 1000
  velkon-cli fleet write truck.json ttyUSB0 ttyUSB1 --set 'device_id={imei:10}' --report парк.csv
  velkon-cli fleet write truck.json ttyUSB0 ttyUSB1 --values значения.csv --dry-run
  velkon-cli fleet write truck.json --only-failed парк.csv --values значения.csv
  velkon-cli fleet read ttyUSB0 ttyUSB1 -o профили --report парк.json
  velkon-cli fleet imei ttyUSB0 ttyUSB1 --json
  velkon-cli fleet imei ttyUSB0 ttyUSB1 --report парк.xlsx
  velkon-cli tank report бак.tarirovka -o бак.pdf

)",
    R"(  128+N  завершена сигналом N (Ctrl-C — 130, kill — 143, закрыт терминал — 129,
         закрыт канал вывода — 141); порты возвращены в прежнее состояние
)",
};
#endif

std::string help_text() {
    return R"(velkon-cli — настройка трекера и датчика уровня топлива из командной строки.

Использование:
  velkon-cli ports [--all] [-l | --long] [--json]
  velkon-cli readings ПОРТ [--count N] [--interval СЕК] [--json | --csv]
  velkon-cli live ПОРТ [--count N] [--interval СЕК] [--json | --csv]
  velkon-cli config read ПОРТ [-o ФАЙЛ]
  velkon-cli config write ПОРТ ФАЙЛ [--set КЛЮЧ=ЗНАЧЕНИЕ]…
  velkon-cli imei ПОРТ [--json]
  velkon-cli fleet write ФАЙЛ ПОРТ… [--set КЛЮЧ=ЗНАЧЕНИЕ]… [--values ТАБЛИЦА.csv
                         [--values-optional]] [--unique КЛЮЧ]… [--dry-run] [--report ОТЧЁТ]
  velkon-cli fleet read ПОРТ… [-o ПАПКА] [--report ОТЧЁТ]
  velkon-cli fleet imei ПОРТ… [--json] [--report ОТЧЁТ]
  velkon-cli tank report СЕАНС -o ФАЙЛ.pdf|ФАЙЛ.csv
Командам с ПОРТом можно дать --timeout МС и --console; командам fleet вместо ПОРТов —
--only-failed ОТЧЁТ.

Команды:
)" + std::string(kPlatformHelp.ports) +
           R"(  readings       показания датчика: уровень, температура, текущее значение, полный,
                 пустой, сетевой адрес
  live           текущие данные трекера, как на странице «Трекер»: спутники, уровень GSM,
                 напряжение питания, трафик, С/Ш, входы, восемь каналов RS-485
  config read    конфигурация трекера в виде профиля (в стандартный вывод или в ФАЙЛ)
  config write   проверить профиль (или копию 123.cfg), записать его в трекер, прочитать
                 обратно и сравнить; каждое различие выводится отдельной строкой
  imei           IMEI и номер SIM-карты трекера
  fleet write    записать профиль в трекеры на всех ПОРТах сразу, каждый в своём потоке:
                 сначала у всех читаются IMEI, SIM и конфигурация, затем проверяются
                 значения всех трекеров вместе, и только потом идёт запись; по строке
                 на трекер, как только он готов
  fleet read     прочитать IMEI, SIM, серийный номер, версию ПО (и с -o — профили в ПАПКУ,
                 файл IMEI.json на трекер) со всех ПОРТов сразу
  fleet imei     IMEI и SIM со всех ПОРТов сразу
  tank report    отчёт о тарировке бака из сохранённого сеанса (.tarirovka или CSV), без
                 порта: PDF, как «Отчёт…» окна тарировки, или таблица CSV

Параметры:
  --count N            сколько раз спросить (от 1 до 100000); без него readings и live
                       работают, пока их не остановят (Ctrl-C)
  --interval СЕК       пауза между вопросами, секунды (0,5 по умолчанию, от 0,1 до 86400)
  --json               данные в формате JSON, по одному объекту в строке; у readings и live
                       первым полем идёт время "time" (ISO 8601); у ports — одна строка,
                       массив объектов name, path, by_id, by_path, console
  --csv                строки через «;», первая — заголовок, первый столбец — время (ISO 8601)
  -o, --output ФАЙЛ    записать профиль в ФАЙЛ (у fleet read — папка профилей)
  --set КЛЮЧ=ЗНАЧЕНИЕ  заменить значение ключа профиля перед записью: apn=internet,
                       period=120, egts=true, channels[3].address=7 (каналы от 0 до 7);
                       можно повторять
  --values ТАБЛИЦА.csv значения для каждого трекера из таблицы CSV, как её сохраняет Excel
                       или LibreOffice («;» или «,», UTF-8, можно с BOM): в первой строке —
                       столбец imei, serial или port (по нему ищется строка трекера) и
                       столбцы с ключами профиля, как у --set; непустая ячейка заменяет
                       значение профиля и --set и может содержать подстановки; трекер без
                       строки в таблице не записывается («нет значений»)
  --values-optional    трекер без строки в таблице записать значениями профиля
  --unique КЛЮЧ        значение ключа после подстановок должно быть у каждого трекера своим;
                       device_id проверяется всегда; можно повторять
  --dry-run            у fleet write: прочитать трекеры и проверить значения, но ничего не
                       записывать; строка трекера называет, что изменилось бы:
                       ключ «было» → «стало»
  --only-failed ОТЧЁТ  у fleet: взять порты из отчёта прежней работы (.json или .csv) —
                       трекеры с ошибкой и не законченные; ПОРТы тогда не называются
)" + std::string(kPlatformHelp.report) +
           R"(                       версия ПО, результат (слово и код), код завершения, изменённые
                       значения («ключ: было → стало»), различия после записи,
                       заполненные значения («ключ = значение»), сообщение; IMEI, SIM
                       и серийный номер — текст, а не числа
  --timeout МС         сколько ждать ответа, миллисекунд (500 по умолчанию, как такт окна;
                       от 250 до 60000)
)" + std::string(kPlatformHelp.console) +
           R"(  --all                у ports: показать и консоль
)" + std::string(kPlatformHelp.long_list) +
           R"(  -h, --help           эта справка
  -V, --version        версия программы

Подстановки в текстах профиля (и в --set) заполняются из трекера, в который идёт запись:
  {imei}, {sim}, {serial} (серийный номер трекера), {port} (имя порта), а последние N
  знаков — как {imei:10}, {sim:4}, например "device_id": "{imei:10}". Пишутся строчными
  буквами, без пробелов; другой текст в фигурных скобках или одна скобка — ошибка (код 2),
  ничего не отправляется. Заполненное значение проверяется, как введённое; если подстановку
  нечем заполнить, трекер не записывается, причина — в отчёте.

)" + std::string(kPlatformHelp.port) +
           R"(fleet write не пишет ни в один трекер, пока не прочитаны все: трекеры, сообщившие один IMEI,
и трекеры, у которых совпало заполненное значение device_id (или ключа --unique), не
записываются — ни один из них; остальные записываются.

Линия: 19200 бод, 8 бит, без чётности, 1 стоповый бит. Запросы идут по одному; ответ
ждётся --timeout мс; вопрос без ответа задаётся до трёх раз. Запись повторяется, только
если трекер её не подтвердил (и позднего подтверждения нет) и чтение показало, что он
хранит прежнее: дважды одна запись не уходит.
Перерыв в ответах у readings и live — строка «Нет данных: …», и опрос идёт дальше. Если
порт пропал (адаптер вынут), каждый следующий опрос открывает его снова по тому же пути;
пока порта нет, опрос — такая же строка, а открытый снова порт отмечается строкой
«Порт … снова открыт.» (с --json и --csv — в потоке ошибок).
Данные выводятся в стандартный вывод, сообщения — в поток ошибок.

)" + std::string(kPlatformHelp.examples) +
           results_help() +
           R"(
Коды завершения:
  0  выполнено
  1  устройство не ответило, отказало или прочитано не то, что записано (у readings и
     live — был хотя бы один перерыв)
  2  ошибка в командной строке, во входном файле или в значении; порт консоли без --console
  3  порт не открылся: его нет, он занят другой программой, нет прав
  у fleet — наибольший из кодов трекеров
)" + std::string(kPlatformHelp.signals) +
           R"()";
}

}  // namespace velkon::cli
