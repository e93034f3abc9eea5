// The window with the real serial driver opened on the simulator's pseudo-terminal: the exchange
// runs for real, the dialogs are scripted and the read is synchronous, so a test ticks by hand.
#pragma once

#include <memory>

#include "app/form.h"
#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"

namespace velkon::testing {

struct SimWindow {
    sim::PtyServer server;
    ScratchDir folder;
    WindowModel model;
    std::unique_ptr<SerialPort> port = make_serial_port();
    FakeLister lister;
    ScriptedDialogs dialogs;
    FixedClock clock;
    SyncReadRunner reader;
    Form form{model, FormSeams{*port, lister, dialogs, clock, reader, folder.path()}};

    ~SimWindow() { form.BTNCloseCom_Click(); }

    // Starts the simulator, runs start-up and opens its port through the open button.
    bool open() {
        if (!server.start()) return false;
        form.Form_Load();
        model.set_items("CmbPort", {server.slave_path()});
        model.set_selected("CmbPort", 0);
        form.BTNOpenCom_Click();
        return port->is_open();
    }
};

}  // namespace velkon::testing
