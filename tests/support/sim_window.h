// The configurator with the real serial driver opened on the simulator's pseudo-terminal: the
// exchange runs for real over the shared stand-ins. With the default runner the read is
// synchronous and a test ticks by hand; benchmarks give their own runner.
#pragma once

#include <memory>

#include "app/configurator.h"
#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "support/stand_ins.h"

namespace velkon::testing {

template <typename Runner = SyncIoRunner>
struct SimRig : StandIns {
    sim::PtyServer server;
    std::unique_ptr<SerialPort> port = make_serial_port();
    Runner reader;
    Configurator app{model, seams(*port, reader)};

    template <typename... RunnerArgs>
    explicit SimRig(RunnerArgs&&... args) : reader(std::forward<RunnerArgs>(args)...) {}
    ~SimRig() { app.connection().close_link(); }

    // Starts the simulator, runs start-up and opens its port through the open button.
    bool open() {
        if (!server.start()) return false;
        app.start();
        model.set_items(ctl::CmbPort, {server.slave_path()});
        model.set_selected(ctl::CmbPort, 0);
        app.connection().open_link();
        return port->is_open();
    }
};

using SimWindow = SimRig<>;

}  // namespace velkon::testing
