// The configurator over the shared stand-ins and a fake port, for handler tests. Everything
// runs on the test's thread; the read runner answers at once unless told to hold a read.
#pragma once

#include "app/configurator.h"
#include "support/stand_ins.h"
#include "tracker/record.h"

namespace velkon::testing {

// The unit's configuration answer holding what the pages show now (firmware 43, serial 100500).
inline Frame configuration_answer_of(Configurator& app) {
    const ConfigFrame write = encode_config_frame(app.tracker().configuration_from_window());
    std::string body = write.frame.substr(0, 165);
    body[2] = '\xA2';
    body += bytes({0x00, 43, 0x00, 0x01, 0x88, 0x94});
    return Control_summ(body);
}

// The pages' fields become the unit's, as after a whole configuration read on the current link:
// «Установить» then writes without asking.
inline void take_fields_as_read(Configurator& app) {
    app.tracker().show_configuration(configuration_answer_of(app));
}

// The unit acknowledges the write queued last (still pending: the tests send no tick).
inline void acknowledge_write(Configurator& app) {
    app.tracker().acknowledge_write(app.model().vars.wrs);
}

struct FormFixture : StandIns {
    FakePort port;
    HoldingRunner reader;
    Configurator app{model, seams(port, reader)};

    static std::string bytes(std::initializer_list<int> list) { return testing::bytes(list); }

    // The state right after a port was opened from a started window: the address box holds the
    // single entry "0", page «Датчик», the link's groups enabled, the exchange timer running.
    void open_link() {
        model.set_items(ctl::CmbNet, {"0"});
        model.set_selected(ctl::CmbNet, 0);
        vars().mode_yes = true;
        vars().Ur_progressBar = 1024;
        model.set_items(ctl::CmbPort, {"ttyUSB0"});
        model.set_selected(ctl::CmbPort, 0);
        app.connection().open_link();
        port.calls.clear();
    }
    // One tick with `answer` waiting on the line ("" = silence).
    void tick(const std::string& answer) {
        port.reads.push_back(answer);
        app.exchange().start_tick();
    }
};

// The exchange tests' name for the same rig.
using LinkRig = FormFixture;

}  // namespace velkon::testing
