// The longest event-loop stall while the exchange runs in a Qt event loop with the front end's
// read runner, the simulator answering or silent on a pseudo-terminal.
//
// The exchange timer fires every 500 ms as in the window; a 1 ms heartbeat timer measures how
// late the loop gets around to it. The counter longest_stall_ms is the worst lateness seen over
// the run (target: below 30 ms); ticks counts the ticks started.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "app/configurator.h"
#include "support/sim_window.h"
#include "ui/qt_io_runner.h"

namespace {

using namespace velkon;
using Steady = std::chrono::steady_clock;

void run_loop(benchmark::State& state, bool silent) {
    velkon::testing::SimRig<QtIoRunner> rig;
    if (!rig.open()) {
        state.SkipWithError("the simulator's line did not open");
        return;
    }
    if (silent) rig.server.set_faults({.silent = true});
    Configurator& app = rig.app;

    double longest_stall = 0;
    int ticks = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QTimer exchange;
        exchange.setInterval(500);
        QObject::connect(&exchange, &QTimer::timeout, [&] {
            if (!app.exchange().tick_in_progress()) ++ticks;
            app.exchange().start_tick();
        });
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(1);
        auto last = Steady::now();
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const auto now = Steady::now();
            const double gap = std::chrono::duration<double, std::milli>(now - last).count();
            longest_stall = std::max(longest_stall, gap - 1.0);
            last = now;
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        exchange.start();
        heartbeat.start();
        loop.exec();
    }
    const bool answered = rig.model.text(ctl::MsgCom) == "Получены данные.";
    app.connection().close_link();
    state.counters["longest_stall_ms"] = longest_stall;
    state.counters["ticks"] = ticks;
    state.counters["answered"] = answered ? 1 : 0;
}

void BM_EventLoopAnswering(benchmark::State& state) {
    run_loop(state, false);
}
BENCHMARK(BM_EventLoopAnswering)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_EventLoopSilent(benchmark::State& state) {
    run_loop(state, true);
}
BENCHMARK(BM_EventLoopSilent)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
