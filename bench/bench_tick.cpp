// How long the window's thread is held by one exchange tick and by one port scan.
//
// The tick runs as the front end runs it: start_tick() on the window's thread hands the read to
// a worker thread (the same arrangement as the Qt front end's read runner), the result comes back
// through an event queue and the tick's second half runs on the window's thread. The time spent
// waiting for the event is the window's free time; the figures are the time spent inside the two
// handlers. Reported per tick: the iteration time is the time the window's thread was held (both
// halves); the counters give the longest hold of each half over the run. Target: no hold above 30
// ms.
//
// The simulator answers on a pseudo-terminal ("answering") or keeps silent ("silent"). The scan
// is the port scan with the system's port lister.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/configurator.h"
#include "support/sim_window.h"

namespace {

using namespace velkon;
using Steady = std::chrono::steady_clock;

// The window's event queue.
class EventQueue {
  public:
    void post(std::function<void()> event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        ready_.notify_one();
    }
    std::function<void()> wait() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !events_.empty(); });
        auto event = std::move(events_.front());
        events_.pop_front();
        return event;
    }

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> events_;
};

// Reads on one worker thread and posts the result to the window's queue.
class WorkerRunner : public PortIoRunner {
  public:
    explicit WorkerRunner(EventQueue& window) : window_(window), worker_([this] { run(); }) {}
    ~WorkerRunner() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }
    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override {
        {
            std::lock_guard lock(mutex_);
            port_ = &port;
            request_ = std::move(request);
            still_current_ = std::move(still_current);
            done_ = std::move(done);
        }
        wake_.notify_one();
    }

  private:
    void run() {
        for (;;) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || done_; });
            if (stopping_) return;
            auto done = std::move(done_);
            done_ = nullptr;
            SerialPort* port = port_;
            const std::string request = std::move(request_);
            const auto still_current = std::move(still_current_);
            lock.unlock();
            TickIo io = exchange_now(*port, request, still_current);
            window_.post([done = std::move(done), io = std::move(io)] { done(io); });
        }
    }

    EventQueue& window_;
    std::mutex mutex_;
    std::condition_variable wake_;
    SerialPort* port_ = nullptr;
    std::string request_;
    std::function<bool()> still_current_;
    std::function<void(TickIo)> done_;
    bool stopping_ = false;
    std::thread worker_;
};

double ms_since(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void run_ticks(benchmark::State& state, bool silent) {
    EventQueue window;
    velkon::testing::SimRig<WorkerRunner> rig(window);
    if (!rig.open()) {
        state.SkipWithError("the simulator's line did not open");
        return;
    }
    if (silent) rig.server.set_faults({.silent = true});
    Configurator& app = rig.app;

    double longest_timer = 0;
    double longest_finish = 0;
    for (auto _ : state) {
        const auto t0 = Steady::now();
        app.exchange().start_tick();
        const double timer = ms_since(t0);
        auto event = window.wait();  // the window is free meanwhile
        const auto t1 = Steady::now();
        event();
        const double finish = ms_since(t1);
        longest_timer = std::max(longest_timer, timer);
        longest_finish = std::max(longest_finish, finish);
        state.SetIterationTime((timer + finish) / 1000.0);
    }
    const bool answered = rig.model.text(ctl::MsgCom) == "Получены данные.";
    app.connection().close_link();
    state.counters["longest_timer_ms"] = longest_timer;
    state.counters["longest_finish_ms"] = longest_finish;
    state.counters["answered"] = answered ? 1 : 0;
}

void BM_TickAnswering(benchmark::State& state) {
    run_ticks(state, false);
}
BENCHMARK(BM_TickAnswering)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);

void BM_TickSilent(benchmark::State& state) {
    run_ticks(state, true);
}
BENCHMARK(BM_TickSilent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(8);

// For comparison: the whole tick on the window's thread, read included.
void BM_TickSilentSynchronous(benchmark::State& state) {
    velkon::testing::SimWindow rig;
    if (!rig.open()) {
        state.SkipWithError("the simulator's line did not open");
        return;
    }
    rig.server.set_faults({.silent = true});
    Configurator& app = rig.app;
    double longest = 0;
    for (auto _ : state) {
        const auto t0 = Steady::now();
        app.exchange().start_tick();
        longest = std::max(longest, ms_since(t0));
    }
    app.connection().close_link();
    state.counters["longest_ms"] = longest;
}
BENCHMARK(BM_TickSilentSynchronous)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// The port scan as it runs every 100 ms while no port is open, with the system's lister.
void BM_PortScan(benchmark::State& state) {
    velkon::testing::StandIns stand_ins;
    WindowModel& model = stand_ins.model;
    auto port = make_serial_port();
    auto lister = make_system_port_lister();
    SyncIoRunner reader;
    Configurator app(model, ConfiguratorSeams{*port, *lister, stand_ins.dialogs, stand_ins.clock,
                                              reader, stand_ins.folder.path()});
    // Fill the traffic text up to its cap first: the steady state after a long idle time.
    for (std::size_t i = 0; model.text(ctl::txtRec).size() + 200 < kTxtRecLimit; ++i) {
        app.connection().scan_ports();
    }
    double longest = 0;
    for (auto _ : state) {
        const auto t0 = Steady::now();
        app.connection().scan_ports();
        longest = std::max(longest, ms_since(t0));
    }
    state.counters["longest_ms"] = longest;
    state.counters["ports"] = static_cast<double>(model.items(ctl::CmbPort).size());
}
BENCHMARK(BM_PortScan)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

BENCHMARK_MAIN();
