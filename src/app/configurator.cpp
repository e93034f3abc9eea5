#include "app/configurator.h"

#include <utility>

namespace velkon {

Configurator::Configurator(WindowModel& model, ConfiguratorSeams s)
    : m_(model),
      outbox_(model, s.clock),
      day_file_(model.vars, s.dialogs),
      connection_(model, s.port, s.ports, s.dialogs, outbox_),
      sensor_answers_(model),
      sensor_commands_(model, s.dialogs, outbox_, day_file_),
      tracker_(model, s.dialogs, outbox_, day_file_, s.program_folder, s.decimal_separator),
      profiles_(model, s.dialogs, tracker_, s.program_folder),
      exchange_(model, s.port, s.dialogs, s.port_io, outbox_,
                {connection_, sensor_answers_, tracker_}),
      shell_(model, s.dialogs, s.clock, outbox_, connection_, s.program_folder),
      table_(make_event_table()) {
    by_control_.assign(m_.controls().size(), {});
    for (auto& slots : by_control_) slots.fill(-1);
    for (std::size_t row = 0; row < table_.size(); ++row) {
        const int index = m_.index_of(table_[row].control);  // aborts on an unknown name
        by_control_[index][static_cast<int>(table_[row].event)] = static_cast<int>(row);
    }
    tracker_.take_fields_as_the_units();
}

std::vector<EventRow> Configurator::make_event_table() {
    using E = ControlEvent;
    using S = SensorCommandId;
    auto sensor = [this](S id) { return [this, id] { sensor_commands_.run(id); }; };
    return {
        // Connection and exchange.
        {ctl::Timer1, E::Timer, [this] { connection_.scan_ports(); }},
        {ctl::BTNOpenCom, E::Click, [this] { connection_.open_link(); }},
        {ctl::BTNCloseCom, E::Click, [this] { connection_.close_link(); }},
        {ctl::TMRComm, E::Timer, [this] { exchange_.start_tick(); }},
        // Sensor commands.
        {ctl::bp_on, E::Click, sensor(S::CalibrateEngineRunning)},
        {ctl::bp_off, E::Click, sensor(S::CalibrateEngineStopped)},
        {ctl::gorizont, E::Click, sensor(S::SetHorizon)},
        {ctl::hig, E::Click, sensor(S::CalibrateFullLevel)},
        {ctl::low, E::Click, sensor(S::CalibrateEmptyLevel)},
        {ctl::Set_mode, E::Click, sensor(S::SetOperatingMode)},
        {ctl::Chg_pass, E::Click, sensor(S::ChangePassword)},
        {ctl::Vvod_PWD, E::Click, sensor(S::EnterPassword)},
        {ctl::net, E::Click, sensor(S::ChangeNetworkAddress)},
        {ctl::next_ser_num, E::Click, sensor(S::SetNextSerialNumber)},
        {ctl::InstSN, E::Click, sensor(S::SetUnitSerialNumber)},
        {ctl::Set_BP, E::Click, sensor(S::SetBpValue)},
        {ctl::sdv_hi, E::Click, sensor(S::ShiftFullLevel)},
        {ctl::sdv_low, E::Click, sensor(S::ShiftEmptyLevel)},
        {ctl::Opros, E::Click, sensor(S::PollNetwork)},
        {ctl::gen_up, E::Click, [this] { sensor_commands_.generate_full_shift_text(); }},
        {ctl::gen_down, E::Click, [this] { sensor_commands_.generate_empty_shift_text(); }},
        {ctl::CmbNet, E::Change, [this] { sensor_commands_.request_selected_version(); }},
        // Tracker.
        {ctl::readdata, E::Click, [this] { tracker_.reread_configuration(); }},
        {ctl::setdata, E::Click, [this] { tracker_.write_configuration(); }},
        {ctl::Command3, E::Click, [this] { tracker_.write_configuration(); }},
        {ctl::rd_imei, E::Click, [this] { tracker_.read_imei(); }},
        {ctl::sl3, E::Click, [this] { tracker_.bind_serial_number(); }},
        // Auxiliary commands.
        {ctl::Command1, E::Click, [this] { shell_.request_a5(); }},
        {ctl::gsmlog, E::Click, [this] { shell_.request_gsm_log(); }},
        {ctl::Command2, E::Click, [this] { shell_.replace_points(); }},
        // Profiles.
        {ctl::save_prof, E::Click, [this] { profiles_.save(); }},
        {ctl::load_prof, E::Click, [this] { profiles_.load(); }},
        // Tank calibration: its window belongs to the front end.
        {ctl::tarirovka, E::Click,
         [this] {
             if (on_calibration) on_calibration();
         }},
    };
}

void Configurator::on_event(int control, ControlEvent event) {
    if (control < 0 || control >= static_cast<int>(by_control_.size())) return;
    // Whatever the user does next has been seen after the notice: it may go.
    if (event != ControlEvent::Timer) outbox_.release_notice();
    const int row = by_control_[control][static_cast<int>(event)];
    if (row >= 0) table_[row].action();
    if (event != ControlEvent::Timer) tracker_.update_changed_mark();
}

bool Configurator::fire(ControlName control, ControlEvent event) {
    const int index = m_.index_of(control);
    if (by_control_[index][static_cast<int>(event)] < 0) return false;
    on_event(index, event);
    return true;
}

}  // namespace velkon
