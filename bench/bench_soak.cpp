// A fault soak: the window's exchange runs in a Qt event loop with the front end's read runner
// against the simulator for several minutes, through every fault the simulator has, a flood of
// about 1 MB of noise from the device side, and a clean phase. Not a timed test: it reports
// figures to judge.
//
//   bench_soak [--soak_seconds=N]      (or VELKON_SOAK_SECONDS=N; default 180)
//
// Counters: longest_stall_ms (the worst lateness of a 1 ms heartbeat over the whole run, target
// below 30 ms), rss_start_mb and rss_end_mb (VmRSS), flood_sent_kb and flood_s (how much of the
// flood the line took and for how long), recovered (1 when readings came back after the flood)
// and recovery_s (from the end of the flood to the first fresh readings with "Получены данные."
// in the status line; -1 when they did not come back within two minutes, which the clean phase
// waits for at most), and machine_stall_ms (how late an idle thread of the same process woke
// from a 1 ms sleep: the machine's own share of a stall). Each phase also prints one line: its
// longest stall, the machine's, and its ticks.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/configurator.h"
#include "support/sim_window.h"
#include "ui/qt_io_runner.h"

namespace {

using namespace velkon;
using Steady = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

double g_soak_seconds = 180;

constexpr std::size_t kFloodBytes = 1 << 20;
constexpr std::int8_t kMarkerTemperature =
    42;  // set when the flood ends: only fresh readings show it
constexpr const char* kReadingsStatus = "Получены данные.";
constexpr std::chrono::seconds kRecoveryLimit{120};

double rss_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

struct Phase {
    const char* name;
    sim::Faults faults;
    double share;  // of the whole run
    enum Kind { Fault, Flood, Clean } kind = Fault;
};

std::vector<Phase> phases() {
    using namespace std::chrono_literals;
    constexpr double kFault = 0.6 / 15;
    return {
        {"silent", {.silent = true}, kFault},
        {"silent every 3rd", {.silent_every = 3}, kFault},
        {"wrong check byte", {.wrong_check = true}, kFault},
        {"unknown code", {.unknown_code = true}, kFault},
        {"modem text", {.modem_text = true}, kFault},
        {"oversize 300", {.oversize = 300}, kFault},
        {"split", {.split = true, .split_gap = 150ms}, kFault},
        {"delay 700 ms", {.delay = 700ms}, kFault},
        {"echo", {.echo = true}, kFault},
        {"garbage speed", {.garbage_speed = true}, kFault},
        {"echo twice", {.echo_twice = true}, kFault},
        {"previous request echoed", {.echo = true, .echo_previous = true}, kFault},
        {"partial echo", {.partial_echo = 3}, kFault},
        {"configuration never answered", {.ignore_code = 0xA2}, kFault},
        {"acknowledgement damaged", {.wrong_check_code = 0xA3}, kFault},
        {"flood 1 MB", {}, 0.2, Phase::Flood},
        {"clean", {}, 0.2, Phase::Clean},
    };
}

std::string flood_bytes() {
    std::mt19937 random(12);
    std::string noise(kFloodBytes, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    return noise;
}

// The same heartbeat on a thread of its own that does nothing else: how late the machine itself
// wakes a sleeper. On a loaded machine the window's stalls are only as good as this figure.
class MachineLateness {
  public:
    MachineLateness()
        : thread_([this] {
              while (!stop_) {
                  const auto before = Steady::now();
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
                  const double late =
                      std::chrono::duration<double, std::milli>(Steady::now() - before).count() -
                      1.0;
                  std::lock_guard lock(mutex_);
                  longest_ = std::max(longest_, late);
                  phase_ = std::max(phase_, late);
              }
          }) {}
    ~MachineLateness() {
        stop_ = true;
        thread_.join();
    }
    double longest() {
        std::lock_guard lock(mutex_);
        return longest_;
    }
    double take_phase() {
        std::lock_guard lock(mutex_);
        return std::exchange(phase_, 0.0);
    }

  private:
    std::mutex mutex_;
    double longest_ = 0, phase_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void BM_FaultSoak(benchmark::State& state) {
    velkon::testing::SimRig<QtIoRunner> rig;
    if (!rig.open()) {
        state.SkipWithError("the simulator's line did not open");
        return;
    }
    Configurator& app = rig.app;
    const std::vector<Phase> plan = phases();
    // Made before the loop runs, so that making it is no stall of the window's.
    const std::string noise = flood_bytes();
    const double rss_start = rss_mb();

    double longest_stall = 0, phase_stall = 0;
    int ticks = 0, phase_ticks = 0;
    std::size_t phase = 0;
    auto phase_start = Steady::now();
    double flood_seconds = 0;
    std::size_t flood_sent = 0;
    bool flood_over = false;
    Steady::time_point flood_end;
    double recovery = -1;

    MachineLateness machine;
    auto begin_phase = [&](std::size_t index) {
        phase = index;
        phase_start = Steady::now();
        phase_stall = 0;
        phase_ticks = 0;
        const Phase& p = plan[index];
        rig.server.set_faults(p.faults);
        if (p.kind == Phase::Flood) rig.server.send_raw(noise);
    };
    auto end_flood = [&] {
        const std::size_t left = rig.server.raw_pending();
        rig.server.drop_raw();
        flood_sent = kFloodBytes - left;
        flood_seconds = Seconds(Steady::now() - phase_start).count();
        rig.server.with_device([](sim::Device& d) { d.sensor().temperature = kMarkerTemperature; });
        flood_end = Steady::now();
        flood_over = true;
    };
    auto report_phase = [&] {
        std::printf("  %-18s longest stall %6.1f ms (machine %6.1f ms), %3d ticks\n",
                    plan[phase].name, phase_stall, machine.take_phase(), phase_ticks);
        std::fflush(stdout);
    };

    for (auto _ : state) {
        QEventLoop loop;
        QTimer exchange;
        exchange.setInterval(500);
        QObject::connect(&exchange, &QTimer::timeout, [&] {
            if (!app.exchange().tick_in_progress()) {
                ++ticks;
                ++phase_ticks;
            }
            app.exchange().start_tick();
        });
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(1);
        auto last = Steady::now();
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const auto now = Steady::now();
            const double gap = std::chrono::duration<double, std::milli>(now - last).count() - 1.0;
            longest_stall = std::max(longest_stall, gap);
            phase_stall = std::max(phase_stall, gap);
            last = now;
        });
        // The tracker pages take turns with the sensor's during the fault phases, so both
        // devices' answers meet every fault; the flood and the clean phase read the sensor.
        QTimer driver;
        driver.setInterval(100);
        QObject::connect(&driver, &QTimer::timeout, [&] {
            const Phase& p = plan[phase];
            const double in_phase = Seconds(Steady::now() - phase_start).count();
            const double length = p.share * g_soak_seconds;
            if (p.kind == Phase::Fault) {
                rig.model.set_tab(static_cast<int>(in_phase / 4) % 2);
            } else {
                rig.model.set_tab(0);
            }
            if (flood_over && recovery < 0 && rig.model.text(ctl::MsgCom) == kReadingsStatus &&
                rig.model.text(ctl::temp) == std::to_string(kMarkerTemperature) + " °C") {
                recovery = Seconds(Steady::now() - flood_end).count();
            }
            // The flood ends when the line has taken it all, or when its time is up.
            const bool flood_done =
                p.kind == Phase::Flood && (rig.server.raw_pending() == 0 || in_phase >= length);
            // The clean phase waits for the readings to come back, up to kRecoveryLimit after the
            // flood, so that a slow recovery is measured rather than cut off.
            const bool waiting = p.kind == Phase::Clean && recovery < 0 &&
                                 Steady::now() - flood_end < kRecoveryLimit;
            if ((in_phase < length || waiting) && !flood_done) return;
            if (p.kind == Phase::Flood) end_flood();
            report_phase();
            if (phase + 1 < plan.size()) {
                begin_phase(phase + 1);
            } else {
                loop.quit();
            }
        });
        begin_phase(0);
        exchange.start();
        heartbeat.start();
        driver.start();
        loop.exec();
    }
    app.connection().close_link();
    state.counters["longest_stall_ms"] = longest_stall;
    state.counters["machine_stall_ms"] = machine.longest();
    state.counters["ticks"] = ticks;
    state.counters["rss_start_mb"] = rss_start;
    state.counters["rss_end_mb"] = rss_mb();
    state.counters["flood_sent_kb"] = static_cast<double>(flood_sent) / 1024.0;
    state.counters["flood_s"] = flood_seconds;
    state.counters["recovered"] = recovery >= 0 ? 1 : 0;
    state.counters["recovery_s"] = recovery;
}
BENCHMARK(BM_FaultSoak)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// --soak_seconds=N, taken out of the arguments before the benchmark library sees them.
void take_soak_seconds(int& argc, char** argv) {
    if (const char* env = std::getenv("VELKON_SOAK_SECONDS")) g_soak_seconds = std::atof(env);
    constexpr const char* kFlag = "--soak_seconds=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kFlag, std::strlen(kFlag)) == 0) {
            g_soak_seconds = std::atof(argv[i] + std::strlen(kFlag));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (!(g_soak_seconds >= 10)) {
        std::fprintf(
            stderr,
            "bench_soak: прогон короче 10 секунд ничего не покажет; прогон займёт 180 с.\n");
        g_soak_seconds = 180;
    }
}

}  // namespace

int main(int argc, char** argv) {
    take_soak_seconds(argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
