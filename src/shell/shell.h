// The program's shell: start-up (start values, the port scan started, the day file prepared),
// the end of the program by any path, and the auxiliary commands of the hidden service area.
#pragma once

#include <filesystem>
#include <functional>

#include "connection/connection_control.h"
#include "connection/outbox.h"
#include "model/window_model.h"
#include "seams/seams.h"

namespace velkon {

class Shell {
  public:
    Shell(WindowModel& model, Dialogs& dialogs, Clock& clock, Outbox& outbox,
          ConnectionControl& connection, std::filesystem::path program_folder)
        : m_(model),
          dialogs_(dialogs),
          clock_(clock),
          outbox_(outbox),
          connection_(connection),
          program_folder_(std::move(program_folder)) {}

    // Start values, page «Датчик», the port scan, and the day file (its failure is reported in
    // a critical box titled "Error#" and the number; the link stays usable).
    void start();
    // The window is being closed: the link is closed and the program ends.
    void request_close();
    // The program ends by any other path (a signal, the session ending): the exchange stops,
    // the link is closed and the program ends. Safe to call after request_close().
    void terminate();
    bool program_ended() const { return ended_; }
    // Called once the program must end.
    std::function<void()> on_end_program;

    // Auxiliary commands of the service area.
    void request_a5();       // 3E CA A5 00 00 00 00 00
    void request_gsm_log();  // 3E CA E8: the answer is modem text
    void replace_points();   // a text test: every "." of the typed text becomes ","

  private:
    void end_program();

    WindowModel& m_;
    Dialogs& dialogs_;
    Clock& clock_;
    Outbox& outbox_;
    ConnectionControl& connection_;
    std::filesystem::path program_folder_;
    bool ended_ = false;
};

}  // namespace velkon
