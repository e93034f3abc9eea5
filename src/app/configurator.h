// The configurator behind the window: every subsystem wired to the window model and the seams,
// and the one table that maps each control event to the function that handles it.
//
// A front end renders the model and reports what the user does: on_event() with the control's
// index for a click, an edited text or a timer's tick. Everything runs on the window's thread;
// handlers never touch the port, they leave one complete frame in the outbox and the next
// exchange tick sends it.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/connection_control.h"
#include "connection/outbox.h"
#include "exchange/exchange_engine.h"
#include "files/day_file.h"
#include "model/window_model.h"
#include "profile/profile_commands.h"
#include "seams/seams.h"
#include "sensor/sensor_answers.h"
#include "sensor/sensor_commands.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "shell/shell.h"
#include "tracker/tracker.h"

namespace velkon {

struct ConfiguratorSeams {
    SerialPort& port;
    PortLister& ports;
    Dialogs& dialogs;
    Clock& clock;
    PortIoRunner& port_io;
    std::filesystem::path program_folder;
    // The user's decimal separator ("," on a Russian desktop).
    std::string decimal_separator = ".";
};

// One row of the event table: the control (by its name in the window), the event, and what it
// does.
struct EventRow {
    ControlName control;
    ControlEvent event;
    std::function<void()> action;
};

class Configurator {
  public:
    Configurator(WindowModel& model, ConfiguratorSeams seams);
    Configurator(const Configurator&) = delete;
    Configurator& operator=(const Configurator&) = delete;

    // Start-up: run once, after the front end has been built.
    void start() { shell_.start(); }
    // The front end's one entry for what the user and the timers do; events without a row
    // are ignored.
    void on_event(int control, ControlEvent event);
    // The window is being closed.
    void request_close() { shell_.request_close(); }
    // The program ends by another path (a signal, the session ending).
    void terminate() { shell_.terminate(); }

    // Opens the tank calibration window; set by the front end that has one.
    std::function<void()> on_calibration;

    // For scripted runs and tests: the event of the control named `control`; false when it has
    // no row.
    bool fire(ControlName control, ControlEvent event = ControlEvent::Click);

    const std::vector<EventRow>& event_table() const { return table_; }

    WindowModel& model() { return m_; }
    Outbox& outbox() { return outbox_; }
    ConnectionControl& connection() { return connection_; }
    ExchangeEngine& exchange() { return exchange_; }
    SensorCommands& sensor_commands() { return sensor_commands_; }
    SensorAnswers& sensor_answers() { return sensor_answers_; }
    Tracker& tracker() { return tracker_; }
    ProfileCommands& profiles() { return profiles_; }
    Shell& shell() { return shell_; }
    DayFile& day_file() { return day_file_; }

  private:
    std::vector<EventRow> make_event_table();

    WindowModel& m_;
    Outbox outbox_;
    DayFile day_file_;
    ConnectionControl connection_;
    SensorAnswers sensor_answers_;
    SensorCommands sensor_commands_;
    Tracker tracker_;
    ProfileCommands profiles_;
    ExchangeEngine exchange_;
    Shell shell_;
    std::vector<EventRow> table_;
    // For each control index and event, the row that handles it (-1: none); resolved once, so
    // a misspelt control name stops the program at its construction, not at a click.
    std::vector<std::array<int, kControlEventCount>> by_control_;
};

}  // namespace velkon
