// The window `frmSerial`: its handlers, by the names the window's controls and events give them,
// working on the window model. The handlers live in the source files of their subsystem:
//   serial/connection.cpp      port scan, open and close
//   protocol/engine.cpp        the exchange tick, the answer dispatch, the traffic monitor
//   protocol/sensor_answers.cpp  readings, version and modes shown from the sensor's answers
//   protocol/sensor_commands.cpp the sensor command set
//   tracker/*.cpp              configuration record, its read and write, live data, IMEI and SIM
//   app/*.cpp                  start-up, shutdown, day file, auxiliary commands, click dispatch
//
// Everything runs on the window's thread. Handlers never touch the port: they put one complete
// frame into `vars.wrs` and the next tick sends it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/seams.h"
#include "model/window_model.h"
#include "protocol/frame.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

namespace velkon {

struct SensorCommand;  // a row of the sensor command table (protocol/sensor_commands.cpp)

inline constexpr const char* kLineSettings = "19200,n,8,1";

// Lamp colours, 0x00BBGGRR.
inline constexpr std::uint32_t kLampWhite = 0xFFFFFF;
inline constexpr std::uint32_t kLampGrey = 0x808080;
inline constexpr std::uint32_t kLampRed = 0x0000FF;
inline constexpr std::uint32_t kLampYellow = 0x10FFFF;

// The caps that keep the traffic monitor's text from growing without bound.
inline constexpr std::size_t kTxtRecLimit = 64 * 1024;

struct FormSeams {
    SerialPort& port;
    PortLister& ports;
    Dialogs& dialogs;
    Clock& clock;
    ReadRunner& reader;
    std::filesystem::path program_folder;
};

class Form {
  public:
    Form(WindowModel& model, FormSeams seams);

    WindowModel& model() { return m_; }
    FormVars& vars() { return m_.vars; }

    // Runs the click handler of a control; false when it has none.
    bool click(std::string_view control);
    // Called by the front end when the user edits the text of a control.
    void text_changed(std::string_view control);
    // Called when the program must end at once (after Form_QueryUnload / Form_Terminate).
    std::function<void()> on_end_program;
    bool program_ended() const { return ended_; }

    // Start-up and shutdown.
    void Form_Load();
    void Form_QueryUnload();
    void Form_Terminate();

    // Connection.
    void Timer1_Timer();
    void BTNOpenCom_Click();
    void BTNCloseCom_Click();

    // Exchange.
    void TMRComm_Timer();
    bool tick_in_progress() const { return tick_busy_; }
    std::uint8_t out_win(const Frame& frame);

    // Sensor commands.
    void bp_on_Click();
    void bp_off_Click();
    void gorizont_Click();
    void hig_Click();
    void low_Click();
    void Set_mode_Click();
    void Chg_pass_Click();
    void Vvod_PWD_Click();
    void net_Click();
    void next_ser_num_Click();
    void InstSN_Click();
    void Set_BP_Click();
    void sdv_hi_Click();
    void sdv_low_Click();
    void gen_up_Click();
    void gen_down_Click();
    void Opros_Click();
    Frame Zapros_ser_num();

    // Sensor answers.
    void all_data_to_form(const Frame& answer);
    void assept_sn(const Frame& answer);
    void Out_modes(std::uint8_t mode);

    // Tracker.
    void readdata_Click();
    void setdata_Click();
    void config_to_form(const Frame& answer);
    void live_to_form(const Frame& answer);
    void rd_imei_Click();
    void imei_to_form(const Frame& answer);
    void sl3_Click();
    // The address of the sensor selected in CmbNet: its selected entry read as a byte; nothing
    // when no entry is selected or the entry is not a byte.
    std::optional<std::uint8_t> selected_address() const;
    // One address byte from its text, or 0xFC after the address message.
    Frame add_addr(const std::string& text);

    // Auxiliary commands.
    void Command3_Click();
    void Command1_Click();
    void gsmlog_Click();
    void Command2_Click();
    void CmbNet_Change();

    // Appends one line (CR LF added) to the day file; a failure is reported, never fatal.
    bool append_day_record(const std::string& line);

  private:
    // The second half of a tick, once the read has come back.
    void finish_tick(std::uint64_t generation, std::string received);
    void dispatch_answer(const Frame& answer);
    // The sensor command set: one routine for the table's rows, and the shift text generator.
    void run_command(const SensorCommand& command);
    void generate_shift(std::string_view shift_control, std::uint8_t code);

    WindowModel& m_;
    FormSeams s_;
    bool tick_busy_ = false;
    std::uint64_t link_generation_ = 0;  // bumped by every close, so a late read is dropped
    Frame tick_request_;                 // the frame the tick in progress sends
    bool ended_ = false;
};

}  // namespace velkon
