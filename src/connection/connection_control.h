// Connection control: the port scan while no port is open, opening the chosen port and closing
// the link. Runs on the window's thread.
#pragma once

#include <cstdint>

#include "connection/outbox.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

namespace velkon {

// Lamp colours, 0x00BBGGRR.
inline constexpr std::uint32_t kLampWhite = 0xFFFFFF;
inline constexpr std::uint32_t kLampGrey = 0x808080;
inline constexpr std::uint32_t kLampRed = 0x0000FF;
inline constexpr std::uint32_t kLampYellow = 0x10FFFF;

// The cap that keeps the traffic monitor's text from growing without bound.
inline constexpr std::size_t kTxtRecLimit = 64 * 1024;

class ConnectionControl {
  public:
    ConnectionControl(WindowModel& model, SerialPort& port, PortLister& ports, Dialogs& dialogs,
                      Outbox& outbox)
        : m_(model), port_(port), ports_(ports), dialogs_(dialogs), outbox_(outbox) {}

    // Refills the port list (every 100 ms while no port is open).
    void scan_ports();
    // Opens the port chosen in the list; a refusal is explained in a message box.
    void open_link();
    // Closes the port and puts the window back into its unconnected state.
    void close_link();
    // At start: tells the user which ports will refuse them and the command that fixes it.
    void advise_at_start();

  private:
    WindowModel& m_;
    SerialPort& port_;
    PortLister& ports_;
    Dialogs& dialogs_;
    Outbox& outbox_;
};

}  // namespace velkon
