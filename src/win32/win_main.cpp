// The configurator for Windows: the window model, its handlers and the Win32 front end, wired to
// the Win32 serial driver, the COM port list, the clock and the program folder.
//
// Any other command line (a file dropped on the exe, a shortcut's argument) is ignored: the
// window opens as usual. The options for scripts that run it under wine come only after
// --script, the first argument:
//   --open COMn        picks COMn in the port list and presses «Открыть порт» once the list
//                      has been filled
//   --quit-after MS    closes the window MS milliseconds after it opened
//   --screenshot FILE  saves the window as a BMP when it closes (one second after it opened
//                      without --quit-after)
//   --pages N,M,...    shows these pages in turn (0 = «Датчик»), one every 200 ms, before the
//                      screenshot
//   --report FILE      writes, when the window closes, every label's text, the longest time one
//                      message took to handle and the longest tick (UTF-8, "name=text" lines)
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/configurator.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "win32/calibration_window.h"
#include "win32/dialogs.h"
#include "win32/io_runner.h"
#include "win32/main_window.h"
#include "win32/screenshot.h"
#include "win32/text.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr UINT kScreenshotDelayMs = 1000;
constexpr UINT kOpenDelayMs = 400;  // a few port scans: the list is usually filled by then
constexpr int kOpenAttempts = 20;

struct Options {
    std::string open_port;
    std::optional<UINT> quit_after_ms;
    std::wstring screenshot;
    std::wstring report;
    std::vector<int> pages;
};

std::vector<std::wstring> arguments() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> out(args, args + count);
    LocalFree(args);
    return out;
}

constexpr wchar_t kScriptFlag[] = L"--script";

// The scripted options, or none for a bad scripted command line. Without --script first, every
// argument is ignored.
std::optional<Options> parse_options(const std::vector<std::wstring>& args) {
    Options options;
    if (args.size() < 2 || args[1] != kScriptFlag) return options;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (i + 1 >= args.size()) return std::nullopt;
        const std::wstring& value = args[++i];
        if (arg == L"--open") {
            options.open_port = velkon::win32::narrow(value);
        } else if (arg == L"--quit-after") {
            wchar_t* end = nullptr;
            const unsigned long ms = wcstoul(value.c_str(), &end, 10);
            if (value.empty() || *end) return std::nullopt;
            options.quit_after_ms = static_cast<UINT>(ms);
        } else if (arg == L"--screenshot") {
            options.screenshot = value;
        } else if (arg == L"--report") {
            options.report = value;
        } else if (arg == L"--pages") {
            for (std::size_t at = 0; at <= value.size();) {
                const std::size_t comma = std::min(value.find(L',', at), value.size());
                const std::wstring page = value.substr(at, comma - at);
                if (page.size() != 1 || page[0] < L'0' || page[0] > L'2') return std::nullopt;
                options.pages.push_back(page[0] - L'0');
                at = comma + 1;
            }
        } else {
            return std::nullopt;
        }
    }
    return options;
}

// What the scripted run needs while the window runs; thread timers reach it through here.
struct ScriptedRun {
    Options options;
    velkon::WindowModel* model = nullptr;
    velkon::win32::MainWindow* window = nullptr;
    SteadyClock::duration longest_message{};  // any message, the scripted actions left out
    UINT longest_message_id = 0;              // which kind of message took that long
    SteadyClock::duration longest_tick{};     // a tick of the port scan or of the exchange
};
ScriptedRun* g_run = nullptr;

void write_report(const ScriptedRun& run) {
    std::ofstream out(std::filesystem::path(run.options.report), std::ios::binary);
    for (const auto& control : run.model->controls()) {
        if (control.kind == velkon::ControlKind::Label)
            out << control.name << '=' << control.text << '\n';
    }
    const auto ms = std::chrono::duration<double, std::milli>(run.longest_message).count();
    out << "longest_message_ms=" << ms << '\n';
    out << "longest_message_id=" << run.longest_message_id << '\n';
    out << "longest_tick_ms=" << std::chrono::duration<double, std::milli>(run.longest_tick).count()
        << '\n';
}

// Tried every interval until the port scan has listed the port (a loaded machine may run this
// timer before the scan's first tick), for a few seconds at most.
void CALLBACK open_port_now(HWND, UINT, UINT_PTR id, DWORD) {
    static int attempts = 0;
    const auto& items = g_run->model->items(velkon::ctl::CmbPort);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] != g_run->options.open_port) continue;
        KillTimer(nullptr, id);
        g_run->model->set_selected(velkon::ctl::CmbPort, static_cast<int>(i));
        SendMessageW(g_run->window->control(velkon::ctl::BTNOpenCom), BM_CLICK, 0, 0);
        return;
    }
    if (++attempts >= kOpenAttempts) KillTimer(nullptr, id);
}

constexpr UINT kPageEveryMs = 200;

void CALLBACK next_page(HWND, UINT, UINT_PTR id, DWORD) {
    static std::size_t shown = 0;
    if (shown < g_run->options.pages.size()) g_run->model->set_tab(g_run->options.pages[shown++]);
    if (shown >= g_run->options.pages.size()) KillTimer(nullptr, id);
}

void CALLBACK close_now(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (!g_run->options.screenshot.empty())
        velkon::win32::save_window_bmp(g_run->window->hwnd(), g_run->options.screenshot);
    if (!g_run->options.report.empty()) write_report(*g_run);
    PostMessageW(g_run->window->hwnd(), WM_CLOSE, 0, 0);
}

}  // namespace

int main() {
    const auto options = parse_options(arguments());
    if (!options) {
        MessageBoxW(nullptr,
                    L"Параметры: --script [--open COMn] [--quit-after МС] "
                    L"[--screenshot ФАЙЛ.bmp] [--pages N,M] [--report ФАЙЛ]",
                    L"Конфигуратор Velkon", MB_OK | MB_ICONEXCLAMATION);
        return 2;
    }

    velkon::WindowModel model;
    const auto port = velkon::make_serial_port();
    const auto ports = velkon::make_system_port_lister();
    velkon::win32::Win32Dialogs dialogs;
    velkon::SystemClock clock;
    auto port_io = std::make_unique<velkon::win32::Win32IoRunner>();
    // The user's decimal separator, for every number both windows show.
    const std::string decimal = velkon::win32::user_decimal_separator();
    velkon::Configurator configurator(
        model, velkon::ConfiguratorSeams{*port, *ports, dialogs, clock, *port_io,
                                         velkon::default_program_folder(), decimal});

    velkon::win32::MainWindow window(model, configurator);
    window.on_destroyed = [] { PostQuitMessage(0); };
    dialogs.set_owner(window.hwnd());

    // Tank calibration: one window for the whole run, so its session outlives closing it. Its
    // boxes belong to it, not to the main window it disables while shown.
    velkon::win32::Win32Dialogs calibration_dialogs;
    velkon::win32::CalibrationWindow calibration(
        model, {calibration_dialogs, clock, velkon::default_program_folder(), decimal},
        window.hwnd());
    calibration_dialogs.set_owner(calibration.hwnd());
    configurator.on_calibration = [&calibration] { calibration.open(); };
    configurator.start();
    ShowWindow(window.hwnd(), SW_SHOWNORMAL);
    UpdateWindow(window.hwnd());

    ScriptedRun run{*options, &model, &window, {}};
    g_run = &run;
    if (!options->open_port.empty()) SetTimer(nullptr, 0, kOpenDelayMs, open_port_now);
    if (!options->pages.empty()) SetTimer(nullptr, 0, kPageEveryMs, next_page);
    if (options->quit_after_ms) {
        SetTimer(nullptr, 0, *options->quit_after_ms, close_now);
    } else if (!options->screenshot.empty() || !options->report.empty()) {
        SetTimer(nullptr, 0, kScreenshotDelayMs, close_now);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const auto start = SteadyClock::now();
        if (calibration.dialog_message(msg)) {
            // the calibration window's keyboard
        } else if (!window.hwnd() || !IsDialogMessageW(window.hwnd(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const auto took = SteadyClock::now() - start;
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) continue;  // the script's own timers
        if (msg.message == WM_TIMER) run.longest_tick = std::max(run.longest_tick, took);
        if (took > run.longest_message) {
            run.longest_message = took;
            run.longest_message_id = msg.message;
        }
    }
    g_run = nullptr;
    // The port is closed by now; a read still queued must not reach the handlers.
    port_io.reset();
    return static_cast<int>(msg.wParam);
}
