// Which serial ports exist, asked of the kernel without opening any device (opening raises
// DTR/RTS and can reset or disturb what is attached).
//
// A port is a /sys/class/tty entry that has a device driver ("device/driver" exists); a ttyS*
// entry counts only when its "type" attribute is not 0 (phantom UARTs are left out). Names as
// the kernel gives them, USB ones (ttyUSB*, ttyACM*) first, then in natural order (ttyUSB2
// before ttyUSB10), at most 30; then the extra device paths, as they stand; then the ports that
// are the machine's console (named in the "console/active" attribute), so that the first entry,
// the one picked by default, is never the console while another port exists.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velkon {

struct PortEntry {
    std::string name;      // what the list shows: "ttyUSB0", or an extra path "/dev/pts/3"
    std::string path;      // what is opened: "/dev/ttyUSB0", or the extra path
    bool console = false;  // the machine's console: opening it disturbs the system, not a device
    // The links udev keeps to the device, which outlive a replug that changes ttyUSB0 to ttyUSB1:
    // /dev/serial/by-id/usb-… (the adapter's make and serial number) and /dev/serial/by-path/…
    // (the socket it is in). Filled only on request (PortLister::add_stable_names).
    std::vector<std::string> by_id = {};
    std::vector<std::string> by_path = {};
};

// Whether the user may open a port, judged without opening it.
struct PortAccess {
    enum class Verdict { Allowed, NoRights, Unknown };
    Verdict verdict = Verdict::Allowed;
    std::string group;            // with NoRights: the device's group ("dialout")
    bool relogin_needed = false;  // with NoRights: the user is in that group, but not in this login
};

class PortLister {
  public:
    virtual ~PortLister() = default;
    virtual std::vector<PortEntry> list() = 0;
    // Lists that know nothing of permissions let every port through.
    virtual PortAccess access(const PortEntry&) { return {}; }
    // Fills the entries' by_id and by_path. Kept out of list(), which the window calls every
    // 100 ms for names alone. Lists that know no such links leave the entries as they are.
    virtual void add_stable_names(std::vector<PortEntry>&) {}
};

// Reads `sysfs_tty_root` (normally /sys/class/tty) and appends `extra_paths`.
std::vector<PortEntry> discover_ports(const std::filesystem::path& sysfs_tty_root,
                                      const std::vector<std::string>& extra_paths);

// Fills each entry's by_id and by_path with the links in `serial_root`/by-id and
// `serial_root`/by-path that lead to its device (compared as device_key does), each list in
// name order. Only links are read and stat()ed: no device is opened. A link that leads nowhere
// or to a device not in `ports` is left out.
void find_stable_names(std::vector<PortEntry>& ports, const std::filesystem::path& serial_root);

// Splits a colon-separated list (the VELKON_EXTRA_PORTS variable), skipping empty items.
std::vector<std::string> split_extra_ports(const std::string& text);

// The lister the program uses: /sys/class/tty plus VELKON_EXTRA_PORTS, with the access of the
// user who runs the program and the links of /dev/serial. The roots are for tests.
std::unique_ptr<PortLister> make_system_port_lister(
    const std::filesystem::path& sysfs_tty_root = "/sys/class/tty",
    const std::filesystem::path& serial_root = "/dev/serial");

// The device path of an entry the user picked in the list.
std::string device_path_for(const std::string& list_entry);

}  // namespace velkon
