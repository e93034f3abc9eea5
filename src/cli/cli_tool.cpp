#include "cli/cli_tool.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "cli/unit_link.h"
#include "files/file_error.h"
#include "files/file_write.h"
#include "profile/profile.h"
#include "sensor/readings.h"
#include "sensor/sensor_commands.h"
#include "tracker/record.h"
#include "tracker/tracker.h"

namespace velkon::cli {

namespace {

constexpr const char* kLineSettings = "19200,n,8,1";
constexpr const char* kHelpHint = "Справка: velkon-cli --help";
constexpr std::uint8_t kConfigWriteAck = 0xA3;
constexpr std::uint8_t kConfigAnswer = 0xA2;
constexpr std::uint8_t kImeiAnswer = 0xA7;
constexpr std::uint8_t kReadingsAnswer = 0xF0;
constexpr std::size_t kConfigWriteAckSize = 4;
constexpr std::size_t kConfigAnswerMin = kConfigAnswerSize + 1;  // with the check byte
constexpr long kMaxCount = 100000;

std::string in_quotes(const std::string& text) {
    return "«" + text + "»";
}

std::optional<long> count_value(const std::string& text) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 1 || value > kMaxCount) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string help_text() {
    return R"(velkon-cli — настройка трекера и датчика уровня топлива из командной строки.

Использование:
  velkon-cli ports
  velkon-cli readings ПОРТ [--count N] [--json]
  velkon-cli config read ПОРТ [-o ФАЙЛ]
  velkon-cli config write ПОРТ ФАЙЛ
  velkon-cli imei ПОРТ [--json]

Команды:
  ports          последовательные порты, по одному в строке, в том же порядке, что в окне
  readings       показания датчика: уровень, температура, текущее значение, полный,
                 пустой, сетевой адрес; N раз (по умолчанию один) раз в 500 мс
  config read    конфигурация трекера в виде профиля (в стандартный вывод или в ФАЙЛ)
  config write   проверить профиль (или копию 123.cfg), записать его в трекер, прочитать
                 обратно и сравнить; каждое различие выводится отдельной строкой
  imei           IMEI и номер SIM-карты трекера

Параметры:
  --count N            сколько раз прочитать показания (от 1 до 100000)
  --json               данные в формате JSON, по одному объекту в строке
  -o, --output ФАЙЛ    записать профиль в ФАЙЛ, а не в стандартный вывод
  -h, --help           эта справка
  -V, --version        версия программы

ПОРТ — путь к устройству (/dev/ttyUSB0) или имя из списка ports (ttyUSB0).
Линия: 19200 бод, 8 бит, без чётности, 1 стоповый бит. Запросы идут по одному;
устройство, которое молчит, спрашивается до трёх раз.
Данные выводятся в стандартный вывод, сообщения — в поток ошибок.

Коды завершения:
  0  выполнено
  1  устройство не ответило, отказало или прочитано не то, что записано
  2  ошибка в командной строке, ошибка в профиле или порт не открылся
  128+N  завершена сигналом N (Ctrl-C — 130, kill — 143, закрыт терминал — 129,
         закрыт канал вывода — 141); порт возвращён в прежнее состояние
)";
}

struct CliTool::Options {
    std::vector<std::string> words;  // the command and its positional arguments
    bool json = false;
    bool json_given = false;
    std::optional<long> count;
    std::optional<std::string> output;
};

int CliTool::usage_error(const std::string& message) {
    s_.err << message << "\n" << kHelpHint << "\n";
    return kBadInput;
}

int CliTool::run(const std::vector<std::string>& args) {
    if (args.empty()) {
        s_.err << help_text();
        return kBadInput;
    }
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // The value of an option, "--count 3" or "--count=3"; `missing` when none follows.
        bool missing = false;
        auto value_of =
            [&](std::initializer_list<const char*> names) -> std::optional<std::string> {
            for (const std::string name : names) {
                if (a.size() > name.size() && a.compare(0, name.size() + 1, name + "=") == 0) {
                    return a.substr(name.size() + 1);
                }
                if (a != name) continue;
                if (i + 1 >= args.size()) {
                    missing = true;
                    return std::string();
                }
                return args[++i];
            }
            return std::nullopt;
        };
        if (a == "-h" || a == "--help" || (i == 0 && a == "help")) {
            s_.out << help_text();
            return kDone;
        }
        if (a == "-V" || a == "--version") {
            s_.out << "velkon-cli " << VELKON_VERSION << "\n";
            return kDone;
        }
        if (a == "--json") {
            o.json = o.json_given = true;
        } else if (auto count = value_of({"--count"})) {
            if (missing) return usage_error("После --count нужно число.");
            o.count = count_value(*count);
            if (!o.count) {
                return usage_error("Число после --count должно быть целым, от 1 до " +
                                   std::to_string(kMaxCount) + ", а не " + in_quotes(*count) + ".");
            }
        } else if (auto file = value_of({"-o", "--output"})) {
            if (missing || file->empty()) return usage_error("После -o нужно имя файла.");
            o.output = *file;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("Неизвестный параметр " + in_quotes(a) + ".");
        } else {
            o.words.push_back(a);
        }
    }
    const std::vector<std::string>& w = o.words;
    if (w.empty()) return usage_error("Не указана команда.");
    const std::string& command = w[0];

    // Which options and how many arguments each command takes.
    auto check = [&](std::size_t words, const char* arguments, bool json, bool count,
                     bool output) -> std::optional<int> {
        const std::string name = command == "config" ? "config " + w[1] : command;
        if (w.size() < words) {
            return usage_error("Команде " + in_quotes(name) +
                               " не хватает аргументов: " + arguments + ".");
        }
        if (w.size() > words) return usage_error("Лишний аргумент " + in_quotes(w[words]) + ".");
        if (o.json_given && !json)
            return usage_error("Команда " + in_quotes(name) + " не знает --json.");
        if (o.count && !count)
            return usage_error("Команда " + in_quotes(name) + " не знает --count.");
        if (o.output && !output) return usage_error("Команда " + in_quotes(name) + " не знает -o.");
        return std::nullopt;
    };
    if (command == "ports") {
        if (auto bad = check(1, "", false, false, false)) return *bad;
        return list_ports();
    }
    if (command == "readings") {
        if (auto bad = check(2, "ПОРТ", true, true, false)) return *bad;
        return readings(o);
    }
    if (command == "imei") {
        if (auto bad = check(2, "ПОРТ", true, false, false)) return *bad;
        return imei(o);
    }
    if (command == "config") {
        if (w.size() < 2) return usage_error("После config нужно read или write.");
        if (w[1] == "read") {
            if (auto bad = check(3, "ПОРТ", false, false, true)) return *bad;
            return config_read(o);
        }
        if (w[1] == "write") {
            if (auto bad = check(4, "ПОРТ ФАЙЛ", false, false, false)) return *bad;
            return config_write(o);
        }
        return usage_error("После config нужно read или write, а не " + in_quotes(w[1]) + ".");
    }
    return usage_error("Неизвестная команда " + in_quotes(command) + ".");
}

int CliTool::list_ports() {
    const std::vector<PortEntry> ports = s_.ports.list();
    if (ports.empty()) s_.err << "Последовательные порты не найдены.\n";
    for (const PortEntry& p : ports) s_.out << p.name << "\n";
    return kDone;
}

std::unique_ptr<SerialPort> CliTool::open_port(const std::string& name) {
    std::string path;
    if (name.find('/') != std::string::npos) {
        path = name;
    } else {
        std::string known;
        for (const PortEntry& p : s_.ports.list()) {
            if (p.name == name) path = p.path;
            known += (known.empty() ? "" : ", ") + p.name;
        }
        if (path.empty()) {
            s_.err << "Порт " << in_quotes(name) << " не найден. "
                   << (known.empty() ? "Последовательных портов нет." : "Порты: " + known + ".")
                   << "\n";
            return nullptr;
        }
    }
    auto port = s_.make_port();
    if (!port->OpenPort(path, kLineSettings)) {
        const std::string reason = describe_open_error(port->last_open_error(), path);
        s_.err << "Порт " << in_quotes(name) << " недоступен."
               << (reason.empty() ? "" : " " + reason) << "\n";
        return nullptr;
    }
    return port;
}

int CliTool::readings(const Options& o) {
    auto port = open_port(o.words[1]);
    if (!port) return kBadInput;
    UnitLink link(*port);
    const long count = o.count.value_or(1);
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < count; ++n) {
        if (n > 0) std::this_thread::sleep_until(start + n * s_.readings_interval);
        const Exchange answer = link.ask(readings_request(), kReadingsAnswer, kReadingsMinSize);
        const auto r = answer ? decode_readings(answer.answer) : std::nullopt;
        if (!r) {
            s_.err << (answer ? "Ответ датчика неполный." : answer.message()) << "\n";
            return kDeviceFailed;
        }
        if (o.json) {
            const nlohmann::ordered_json line = {
                {"level", r->level},     {"temperature", r->temperature},
                {"current", r->current}, {"full", r->full},
                {"empty", r->empty},     {"address", r->address}};
            s_.out << line.dump() << "\n";
        } else {
            s_.out << "Уровень " << r->level << "; Температура " << int{r->temperature}
                   << " °C; Текущий " << r->current << "; Полный " << r->full << "; Пустой "
                   << r->empty << "; Сетевой адрес " << int{r->address} << "\n";
        }
        // Output nobody can take any more ends the readings; the caller says why.
        if (!s_.out.flush()) return kOutputFailed;
    }
    return kDone;
}

int CliTool::imei(const Options& o) {
    auto port = open_port(o.words[1]);
    if (!port) return kBadInput;
    UnitLink link(*port);
    const Exchange answer = link.ask(imei_request(), kImeiAnswer, kImeiAnswerSize);
    if (!answer) {
        s_.err << answer.message() << "\n";
        return kDeviceFailed;
    }
    const ImeiAnswer fields = decode_imei_answer(answer.answer);
    if (o.json) {
        const nlohmann::ordered_json line = {{"imei", fields.imei}, {"sim", fields.sim}};
        s_.out << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        s_.out << "IMEI " << fields.imei << "\nSIM " << fields.sim << "\n";
    }
    return kDone;
}

int CliTool::config_read(const Options& o) {
    auto port = open_port(o.words[2]);
    if (!port) return kBadInput;
    UnitLink link(*port);
    const Exchange answer = link.ask(configuration_read_request(), kConfigAnswer, kConfigAnswerMin);
    if (!answer) {
        s_.err << answer.message() << "\n";
        return kDeviceFailed;
    }
    const TrackerConfig config = decode_config_answer(answer.answer);
    if (const std::string odd = check_values(config); !odd.empty()) {
        s_.err << "Внимание: трекер хранит значение, которое профиль не примет при загрузке. "
               << odd << "\n";
    }
    const std::string text = profile_text(config);
    if (!o.output) {
        s_.out << text;
        return kDone;
    }
    if (const int error = write_output_file(*o.output, text)) {
        s_.err << "Не удалось записать профиль в файл " << in_quotes(*o.output) << ": "
               << file_error_text(error) << ".\n";
        return kOutputFailed;
    }
    return kDone;
}

int CliTool::config_write(const Options& o) {
    // The profile is checked whole before the port is touched: a bad one sends nothing.
    const LoadedProfile profile = load_profile_file(o.words[3]);
    if (!profile) {
        s_.err << profile.error << "\n";
        return kBadInput;
    }
    const ConfigFrame frame = encode_config_frame(*profile.config);
    if (!frame) {
        s_.err << frame.refusal << "\n";
        return kBadInput;
    }
    auto port = open_port(o.words[2]);
    if (!port) return kBadInput;
    UnitLink link(*port);
    const Exchange written = link.ask(frame.frame, kConfigWriteAck, kConfigWriteAckSize);
    if (!written) {
        s_.err << "Конфигурация не записана. " << written.message() << "\n";
        return kDeviceFailed;
    }
    const Exchange read = link.ask(configuration_read_request(), kConfigAnswer, kConfigAnswerMin);
    if (!read) {
        s_.err << "Конфигурация отправлена, но не прочитана обратно. " << read.message() << "\n";
        return kDeviceFailed;
    }
    const std::vector<std::string> differences =
        differing_fields(*profile.config, decode_config_answer(read.answer));
    if (!differences.empty()) {
        s_.err << "Трекер хранит не то, что записано:\n";
        for (const std::string& line : differences) s_.err << "  " << line << "\n";
        return kDeviceFailed;
    }
    s_.err << "Конфигурация записана и проверена.\n";
    return kDone;
}

}  // namespace velkon::cli
