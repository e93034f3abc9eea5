// velkon-cli's `config write` (write the profile, read it back, compare) against the simulated
// unit at line speed: the simulator's answers leave at 19200 baud 8N1, one byte every 0.52 ms.
// Next to it, the wire time of every frame of the exchange at that speed:
//   write 169 bytes, its acknowledgement 4, the read request 9, the record 172: 354 bytes, 184 ms.
// The pseudo-terminal takes the tool's own requests at once, so on a real line the 93 ms of the
// two requests come on top of what is measured here; `ratio` is measured / wire time, and
// `ratio_real_line` adds the requests' line time to the measurement. Target: 1.5 at most.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/cli_tool.h"
#include "sim/pty_server.h"
#include "support/test_support.h"

namespace {

using namespace velkon;
using Steady = std::chrono::steady_clock;

constexpr double kByteMs = 10.0 * 1000.0 / 19200.0;  // start bit, 8 data bits, stop bit
constexpr double kRequestBytes = 169 + 9;
constexpr double kAnswerBytes = 4 + 172;

class NoPorts : public PortLister {
  public:
    std::vector<PortEntry> list() override { return {}; }
};

void BM_ConfigWrite(benchmark::State& state) {
    sim::PtyServer server;
    if (!server.start()) {
        state.SkipWithError(server.error().c_str());
        return;
    }
    server.set_faults({.pacing = true});
    test::TempDir dir;
    const std::string profile = (dir.path() / "unit.json").string();
    NoPorts lister;
    std::ostringstream out, err;
    cli::CliTool tool({[] { return make_serial_port(); }, lister, out, err});
    if (tool.run({"config", "read", server.slave_path(), "-o", profile}) != 0) {
        state.SkipWithError(err.str().c_str());
        return;
    }

    double total_ms = 0;
    for (auto _ : state) {
        const auto start = Steady::now();
        const int status = tool.run({"config", "write", server.slave_path(), profile});
        total_ms += std::chrono::duration<double, std::milli>(Steady::now() - start).count();
        if (status != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
    }
    const double wire_ms = (kRequestBytes + kAnswerBytes) * kByteMs;
    const double mean_ms = total_ms / static_cast<double>(state.iterations());
    state.counters["wire_ms"] = wire_ms;
    state.counters["ratio"] = mean_ms / wire_ms;
    state.counters["ratio_real_line"] = (mean_ms + kRequestBytes * kByteMs) / wire_ms;
}
BENCHMARK(BM_ConfigWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// `fleet write` of a profile whose device ID comes from each unit's IMEI, to N simulated units at
// line speed, each on its own pseudo-terminal: every unit is identified, written and read back
// on a worker thread of its own, every unit read before any is written. `per_one` is the time
// of N units over the time of one (measured in the same run); the goal is 1.5 at most for
// thirty.
double fleet_write_ms(benchmark::State& state, std::vector<std::unique_ptr<sim::PtyServer>>& units,
                      const std::string& profile) {
    NoPorts lister;
    std::ostringstream out, err;
    cli::CliTool tool({[] { return make_serial_port(); }, lister, out, err});
    std::vector<std::string> args = {"fleet", "write", profile, "--set", "device_id={imei:10}"};
    for (const auto& unit : units) args.push_back(unit->slave_path());
    const auto start = Steady::now();
    if (tool.run(args) != 0) state.SkipWithError(err.str().c_str());
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void BM_FleetWrite(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::unique_ptr<sim::PtyServer>> units;
    for (std::size_t i = 0; i < count; ++i) {
        sim::TrackerState tracker;
        tracker.imei = "3569380356" + std::to_string(10000 + i).substr(0, 5);
        units.push_back(std::make_unique<sim::PtyServer>(sim::Device(sim::SensorState{}, tracker)));
        if (!units.back()->start()) {
            state.SkipWithError(units.back()->error().c_str());
            return;
        }
        units.back()->set_faults({.pacing = true});
    }
    test::TempDir dir;
    const std::string profile = (dir.path() / "unit.json").string();
    {
        NoPorts lister;
        std::ostringstream out, err;
        cli::CliTool tool({[] { return make_serial_port(); }, lister, out, err});
        if (tool.run({"config", "read", units[0]->slave_path(), "-o", profile}) != 0) {
            state.SkipWithError(err.str().c_str());
            return;
        }
    }
    std::vector<std::unique_ptr<sim::PtyServer>> first;
    double fleet_ms = 0, one_ms = 0;
    for (auto _ : state) {
        fleet_ms += fleet_write_ms(state, units, profile);
        state.PauseTiming();
        std::vector<std::unique_ptr<sim::PtyServer>> one;
        one.push_back(std::move(units[0]));
        one_ms += fleet_write_ms(state, one, profile);
        units[0] = std::move(one[0]);
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["units"] = static_cast<double>(count);
    state.counters["fleet_ms"] = fleet_ms / n;
    state.counters["one_ms"] = one_ms / n;
    state.counters["per_one"] = fleet_ms / one_ms;
}
BENCHMARK(BM_FleetWrite)
    ->Arg(1)
    ->Arg(20)
    ->Arg(30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
