// Help for the first connection, said before the user meets a refusal: how to connect a device
// when no port is listed, why a listed port will not open and the command that fixes it, and a
// question before the machine's own console is opened as if it were a device port.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace velkon {

// A short text for the status line and the whole advice for its tool tip; both empty when there
// is nothing to say.
struct StatusHint {
    std::string status;
    std::string detail;
    bool operator==(const StatusHint&) const = default;
};

class ConnectionHelp {
  public:
    explicit ConnectionHelp(PortLister& ports) : ports_(ports) {}

    // While no port is open: about the ports of one scan and the entry selected in the list.
    StatusHint scan_hint(const std::vector<PortEntry>& found, int selected);
    // At start: the ports that will refuse the user for lack of a group, with the command that
    // adds the user to it; nothing when every device port can be opened.
    std::optional<std::string> start_notice();
    // Before `entry` is opened: the question to confirm when it is the machine's console.
    std::optional<std::string> open_question(const std::string& entry);

  private:
    PortLister& ports_;
};

}  // namespace velkon
