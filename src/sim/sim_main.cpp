// velkon-sim: the fuel level sensor and the tracker unit on a pseudo-terminal.
//
// Prints the pseudo-terminal's path as the first line of standard output, then answers on it
// until SIGINT or SIGTERM, until --requests are done, or until a --hangup-after fault closes the
// line. With --tank, lines "pour LITRES" on standard input pour fuel into the sensor's tank.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "base/end_signals.h"
#include "sim/device.h"
#include "sim/pty_server.h"

namespace {

using namespace velkon::sim;
using std::chrono::milliseconds;

struct Cli {
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::uint64_t requests = 0;  // stop after this many; 0 = never
};

struct Settings {
    SensorState sensor;
    TrackerState tracker;
    Faults faults{.pacing = true};  // a real line takes its time
    ServerOptions server;
    Cli cli;
};

// A decimal number, or hexadecimal after "0x", within [low, high].
std::optional<long long> number(std::string_view text, long long low, long long high) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

using Setter = std::function<bool(Settings&, std::string_view)>;

template <class Group, class Field>
Setter set_number(Group Settings::*group, Field Group::*field, long long low, long long high) {
    return [=](Settings& s, std::string_view text) {
        const auto value = number(text, low, high);
        if (value) (s.*group).*field = static_cast<Field>(*value);
        return value.has_value();
    };
}

template <class Group>
Setter set_text(Group Settings::*group, std::string Group::*field) {
    return [=](Settings& s, std::string_view text) {
        (s.*group).*field = std::string(text);
        return true;
    };
}

template <class Group>
Setter set_switch(Group Settings::*group, bool Group::*field, bool on = true) {
    return [=](Settings& s, std::string_view) {
        (s.*group).*field = on;
        return true;
    };
}

Setter set_ms(milliseconds Faults::*field) {
    return [=](Settings& s, std::string_view text) {
        const auto value = number(text, 0, 600'000);
        if (value) s.faults.*field = milliseconds(*value);
        return value.has_value();
    };
}

// A command code: hexadecimal with or without "0x" ("0xA2", "A2"), or decimal ("162"); digits
// alone read as decimal.
Setter set_code(std::optional<std::uint8_t> Faults::*field) {
    return [=](Settings& s, std::string_view text) {
        std::optional<long long> value = number(text, 0, 255);
        if (!value) {
            unsigned hex = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), hex, 16);
            if (!text.empty() && ec == std::errc{} && end == text.data() + text.size() &&
                hex <= 255)
                value = hex;
        }
        if (value) s.faults.*field = static_cast<std::uint8_t>(*value);
        return value.has_value();
    };
}

struct Option {
    const char* name;
    const char* value;  // name of the value in the help text; nullptr: a switch
    const char* help;
    Setter apply;
};

const std::vector<Option>& options() {
    static const std::vector<Option> kOptions = {
        {"--help", nullptr, "показать эту справку и выйти", set_switch(&Settings::cli, &Cli::help)},
        {"--version", nullptr, "показать версию и выйти",
         set_switch(&Settings::cli, &Cli::version)},
        {"--verbose", nullptr, "выводить каждый запрос и ответ в шестнадцатеричном виде в stderr",
         set_switch(&Settings::cli, &Cli::verbose)},
        {"--requests", "N", "завершиться после N запросов",
         set_number(&Settings::cli, &Cli::requests, 1, std::numeric_limits<long long>::max())},
        {"--gap", "МС", "пауза, после которой неполный запрос отбрасывается (по умолчанию 10)",
         [](Settings& s, std::string_view t) {
             const auto v = number(t, 1, 10'000);
             if (v) s.server.request_gap = milliseconds(*v);
             return v.has_value();
         }},
        // The sensor.
        {"--address", "N", "сетевой адрес датчика, 0..254 (по умолчанию 1)",
         set_number(&Settings::sensor, &SensorState::address, 0, 254)},
        {"--temperature", "ГРАД", "температура датчика, -128..127 (по умолчанию 21)",
         set_number(&Settings::sensor, &SensorState::temperature, -128, 127)},
        {"--level", "ПРОЦЕНТ", "начальное заполнение бака, 0..100 (по умолчанию 75)",
         [](Settings& s, std::string_view t) {
             const auto v = number(t, 0, 100);
             if (v) s.sensor.fuel_ppm = static_cast<std::uint32_t>(*v * 10'000);
             return v.has_value();
         }},
        {"--tank", "ЛИТРЫ[:ФОРМА]",
         "бак на ЛИТРЫ литров, форма straight (прямой, по умолчанию) или cylinder (лежащий "
         "цилиндр), пустой в начале; строки \"pour N\" на стандартном входе доливают N литров",
         [](Settings& s, std::string_view t) {
             s.sensor.tank = Tank::from_text(t);
             if (s.sensor.tank) s.sensor.fuel_ppm = 0;
             return s.sensor.tank.has_value();
         }},
        {"--consumption", "ДОЛЯ",
         "расход за секунду, миллионные доли полного бака (по умолчанию 200)",
         set_number(&Settings::sensor, &SensorState::consumption_ppm_per_s, 0, 1'000'000)},
        {"--mode", "БАЙТ", "байт режима датчика (по умолчанию 0x08)",
         set_number(&Settings::sensor, &SensorState::mode, 0, 255)},
        {"--no-mode-byte", nullptr, "ответ с показаниями из 21 байта, без байта режима",
         set_switch(&Settings::sensor, &SensorState::readings_carry_mode, false)},
        {"--firmware", "N", "номер версии ПО датчика, 0..255 (по умолчанию 163)",
         set_number(&Settings::sensor, &SensorState::firmware, 0, 255)},
        {"--firmware-lead", "N", "старший байт версии датчика, 0..255 (по умолчанию 0 = нет)",
         set_number(&Settings::sensor, &SensorState::firmware_lead, 0, 255)},
        {"--serial", "N", "серийный номер датчика (по умолчанию 4242)",
         set_number(&Settings::sensor, &SensorState::serial, 0, 0xFFFFFFFFLL)},
        {"--password", "N", "пароль датчика (по умолчанию 0 = без пароля)",
         set_number(&Settings::sensor, &SensorState::password, 0, 0xFFFFFFFFLL)},
        // The tracker unit.
        {"--tracker-firmware", "N", "версия ПО трекера, 0..65535 (по умолчанию 43)",
         set_number(&Settings::tracker, &TrackerState::firmware, 0, 65535)},
        {"--tracker-serial", "N", "серийный номер трекера (по умолчанию 100500)",
         set_number(&Settings::tracker, &TrackerState::serial, 0, 0xFFFFFFFFLL)},
        {"--imei", "ТЕКСТ", "IMEI трекера, 15 символов",
         set_text(&Settings::tracker, &TrackerState::imei)},
        {"--sim", "ТЕКСТ", "номер SIM-карты трекера, 20 символов",
         set_text(&Settings::tracker, &TrackerState::sim)},
        // Faults.
        {"--silent", nullptr, "никогда не отвечать",
         set_switch(&Settings::faults, &Faults::silent)},
        {"--silent-every", "N", "оставлять без ответа каждый N-й запрос",
         set_number(&Settings::faults, &Faults::silent_every, 1, 1'000'000)},
        {"--gap-requests", "ОТ-ДО", "оставлять без ответа запросы с номерами от ОТ до ДО (перерыв)",
         [](Settings& s, std::string_view t) {
             const auto dash = t.find('-');
             if (dash == std::string_view::npos) return false;
             const auto from = number(t.substr(0, dash), 1, 1'000'000);
             const auto to = number(t.substr(dash + 1), 1, 1'000'000);
             if (!from || !to || *to < *from) return false;
             s.faults.silent_from = static_cast<unsigned>(*from);
             s.faults.silent_to = static_cast<unsigned>(*to);
             return true;
         }},
        {"--ignore-code", "КОД",
         "не отвечать на запросы с кодом КОД (0xA2, A2 или 162) и не выполнять их",
         set_code(&Faults::ignore_code)},
        {"--wrong-check", nullptr, "отвечать с неверным контрольным байтом",
         set_switch(&Settings::faults, &Faults::wrong_check)},
        {"--wrong-check-code", "КОД",
         "портить контрольный байт только в ответах с кодом КОД (0xA3, A3 или 163)",
         set_code(&Faults::wrong_check_code)},
        {"--unknown-code", nullptr, "отвечать с неизвестным кодом 0x99",
         set_switch(&Settings::faults, &Faults::unknown_code)},
        {"--modem-text", nullptr, "вместо каждого ответа посылать строку текста модема",
         set_switch(&Settings::faults, &Faults::modem_text)},
        {"--oversize", "N", "дополнять каждый ответ до N байт, 5..65535 (больше 255 — два чтения)",
         set_number(&Settings::faults, &Faults::oversize, 5, 65535)},
        {"--split", "МС", "посылать каждый ответ двумя частями с паузой МС",
         [](Settings& s, std::string_view t) {
             s.faults.split = true;
             return set_ms(&Faults::split_gap)(s, t);
         }},
        {"--delay", "МС", "ждать МС перед каждым ответом", set_ms(&Faults::delay)},
        {"--hangup-after", "N", "закрыть линию (и завершиться) после ответа на N запросов",
         set_number(&Settings::faults, &Faults::hangup_after, 1, 1'000'000)},
        {"--echo", nullptr,
         "возвращать каждый запрос перед ответом, как полудуплексный адаптер RS-485",
         set_switch(&Settings::faults, &Faults::echo)},
        {"--echo-twice", nullptr, "возвращать каждый запрос перед ответом дважды",
         set_switch(&Settings::faults, &Faults::echo_twice)},
        {"--echo-previous", nullptr,
         "возвращать перед ответом предыдущий запрос, как повторитель с запаздыванием",
         set_switch(&Settings::faults, &Faults::echo_previous)},
        {"--partial-echo", "N",
         "возвращать перед ответом только первые N байт каждого запроса, 1..65535",
         set_number(&Settings::faults, &Faults::partial_echo, 1, 65535)},
        {"--garbage-speed", nullptr,
         "отвечать байтами, какими ответ на 9600 бод слышен на 19200 (чужая скорость)",
         set_switch(&Settings::faults, &Faults::garbage_speed)},
        {"--pace", nullptr, "передавать со скоростью линии, 19200 бод (по умолчанию)",
         set_switch(&Settings::faults, &Faults::pacing)},
        {"--no-pace", nullptr, "передавать ответы сразу",
         set_switch(&Settings::faults, &Faults::pacing, false)},
    };
    return kOptions;
}

// Pads to `width` characters on screen: the option texts hold Cyrillic, two bytes a letter.
std::string padded(std::string text, std::size_t width) {
    std::size_t shown = 0;
    for (const char c : text) shown += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (shown < width) text.append(width - shown, ' ');
    return text;
}

void print_help() {
    std::printf(
        "Использование: velkon-sim [параметры]\n"
        "Имитирует датчик уровня топлива и телематический блок на псевдотерминале.\n"
        "Первой строкой выводит путь псевдотерминала, затем отвечает на запросы до SIGINT или\n"
        "SIGTERM. Чтобы конфигуратор увидел этот порт, запустите его с\n"
        "VELKON_EXTRA_PORTS=<путь>.\n\n"
        "Параметры:\n");
    for (const auto& option : options()) {
        std::string left = option.name;
        if (option.value) left = left + " " + option.value;
        std::printf("  %s %s\n", padded(left, 22).c_str(), option.help);
    }
    std::printf(
        "\n-v — то же, что --verbose, -h — --help, -V — --version; значение можно дать\n"
        "как \"--имя значение\" или \"--имя=значение\".\n");
}

// "--name value" and "--name=value" both work.
bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-v") arg = "--verbose";
        if (arg == "-h") arg = "--help";
        if (arg == "-V") arg = "--version";
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const Option* found = nullptr;
        for (const auto& option : options()) {
            if (arg == option.name) found = &option;
        }
        if (!found) {
            std::fprintf(stderr, "velkon-sim: неизвестный параметр %s (справка: --help)\n",
                         argv[i]);
            return false;
        }
        std::string_view value;
        if (found->value) {
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                std::fprintf(stderr, "velkon-sim: параметру %s нужно значение %s\n", found->name,
                             found->value);
                return false;
            }
        }
        if (!found->apply(settings, value)) {
            std::fprintf(stderr, "velkon-sim: недопустимое значение %s: %.*s\n", found->name,
                         static_cast<int>(value.size()), value.data());
            return false;
        }
    }
    return true;
}

void log_to_stderr(const std::string& line) {
    static const auto start = std::chrono::steady_clock::now();
    const auto ms =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "[%6lld.%03lld] %s\n", static_cast<long long>(ms / 1000),
                 static_cast<long long>(ms % 1000), line.c_str());
}

// Standard input, read without blocking the main loop: whole lines are handed to the tank.
class PourCommands {
  public:
    // False once standard input has ended.
    bool open() const { return open_; }
    // Reads what has arrived within `timeout_ms` and runs the complete lines.
    void poll_once(PtyServer& server, int timeout_ms) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return;
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            open_ = false;
            return;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            run(server, std::string_view(pending_).substr(0, end));
            pending_.erase(0, end + 1);
        }
        if (pending_.size() > 1024) pending_.clear();
    }

  private:
    static void run(PtyServer& server, std::string_view line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.empty()) return;
        double litres = 0.0;
        const bool is_pour = line.substr(0, 5) == "pour ";
        if (is_pour) {
            const std::string_view amount = line.substr(5);
            const auto [end, ec] =
                std::from_chars(amount.data(), amount.data() + amount.size(), litres);
            if (ec != std::errc{} || end != amount.data() + amount.size()) {
                std::fprintf(stderr, "velkon-sim: неверное количество в \"%.*s\"\n",
                             static_cast<int>(line.size()), line.data());
                return;
            }
        } else {
            std::fprintf(stderr,
                         "velkon-sim: неизвестная команда \"%.*s\" (например, \"pour 20\")\n",
                         static_cast<int>(line.size()), line.data());
            return;
        }
        server.with_device([litres](Device& device) {
            if (!device.sensor().tank) {
                std::fprintf(stderr, "velkon-sim: бака нет (запустите с --tank ЛИТРЫ)\n");
                return;
            }
            Tank& tank = *device.sensor().tank;
            const double moved = tank.pour(litres);
            std::fprintf(stderr, "velkon-sim: налито %.3g л, в баке %.4g из %.4g л\n", moved,
                         tank.contents(), tank.volume());
        });
    }

    bool open_ = true;
    std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
    velkon::ignore_file_size_signal();  // a limit on the output makes a write fail, not a kill
    Settings settings;
    if (!parse(argc, argv, settings)) return 2;
    if (settings.cli.help) {
        print_help();
        return 0;
    }
    if (settings.cli.version) {
        std::printf("velkon-sim %s\n", VELKON_VERSION);
        return 0;
    }
    if (settings.cli.verbose) settings.server.log = log_to_stderr;

    // Signals are taken by the main thread only; the server thread inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    Device device(settings.sensor, settings.tracker);
    device.faults() = settings.faults;
    PtyServer server(std::move(device), settings.server);
    if (!server.start()) {
        std::fprintf(stderr, "velkon-sim: не удалось открыть псевдотерминал: %s\n",
                     server.error().c_str());
        return 1;
    }
    std::printf("%s\n", server.slave_path().c_str());
    std::fflush(stdout);

    PourCommands commands;
    for (;;) {
        timespec poll_interval{0, 100'000'000};
        if (commands.open()) {
            commands.poll_once(server, 100);
            poll_interval = {0, 0};
        }
        const int signal = sigtimedwait(&stop_signals, nullptr, &poll_interval);
        if (signal == SIGINT || signal == SIGTERM) break;
        if (server.hung_up()) break;
        if (settings.cli.requests != 0 && server.requests() >= settings.cli.requests) break;
    }
    server.stop();
    return 0;
}
