// Timing of the serial driver on a pseudo-terminal and cost of one port scan.
//
// Figures to watch: a read of a short answer returns about 20 ms after the answer came; a silent
// read about 256 ms; a scan of /sys/class/tty a small fraction of a millisecond, as it runs every
// 100 ms while no port is open, and so the scan with the first-connection help (the access check
// of the selected port).
#include <benchmark/benchmark.h>

#include "connection_help/connection_help.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "support/test_support.h"

namespace {

using velkon::kDeviceLine;
using velkon::make_serial_port;
using velkon::test::PtyPair;

void BM_PortScan(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(velkon::discover_ports("/sys/class/tty", {"/dev/pts/9"}));
    }
}
BENCHMARK(BM_PortScan)->Unit(benchmark::kMicrosecond);

void BM_PortScanWithHelp(benchmark::State& state) {
    const auto lister = velkon::make_system_port_lister();
    velkon::ConnectionHelp help(*lister);
    for (auto _ : state) {
        const auto found = lister->list();
        benchmark::DoNotOptimize(help.scan_hint(found, 0));
    }
}
BENCHMARK(BM_PortScanWithHelp)->Unit(benchmark::kMicrosecond);

// From a complete answer waiting in the line to ReadPort returning it.
void BM_ReadShortAnswer(benchmark::State& state) {
    PtyPair pty;
    auto port = make_serial_port();
    if (!pty.ok() || !port->OpenPort(pty.slave_path(), kDeviceLine)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const std::string answer("\x3E\x01\xF0\x10\x27\x00\x00\x19\x00\x00\x00\x97", 12);
    for (auto _ : state) {
        state.PauseTiming();
        pty.write_master(answer);
        state.ResumeTiming();
        benchmark::DoNotOptimize(port->ReadPort());
    }
}
BENCHMARK(BM_ReadShortAnswer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_ReadSilence(benchmark::State& state) {
    PtyPair pty;
    auto port = make_serial_port();
    if (!pty.ok() || !port->OpenPort(pty.slave_path(), kDeviceLine)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(port->ReadPort());
}
BENCHMARK(BM_ReadSilence)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// A configuration frame's size and more, in chunks of 255, with the far end reading it all.
void BM_WriteChunked(benchmark::State& state) {
    PtyPair pty;
    auto port = make_serial_port();
    if (!pty.ok() || !port->OpenPort(pty.slave_path(), kDeviceLine)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const std::string data(static_cast<std::size_t>(state.range(0)), '\x55');
    for (auto _ : state) {
        benchmark::DoNotOptimize(port->WritePort(data));
        state.PauseTiming();
        pty.read_master(data.size());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_WriteChunked)->Arg(169)->Arg(600)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
