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

}  // namespace

BENCHMARK_MAIN();
