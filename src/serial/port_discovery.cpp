// The port scan runs every 100 ms while no port is open, so it only lists one sysfs folder and
// looks at a link or a small attribute file per entry; it never opens a device.
#include "serial/port_discovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "base/unique_fd.h"
#include "serial/device_identity.h"
#include "serial/port_access.h"

namespace velkon {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxKernelPorts = 30;
constexpr std::string_view kUsbPrefixes[] = {"ttyUSB", "ttyACM"};
constexpr std::string_view kUartPrefix = "ttyS";
constexpr char kExtraPortsVariable[] = "VELKON_EXTRA_PORTS";

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_usb(std::string_view name) {
    return std::any_of(std::begin(kUsbPrefixes), std::end(kUsbPrefixes),
                       [&](std::string_view prefix) { return name.starts_with(prefix); });
}

bool is_uart(std::string_view name) {
    return name.starts_with(kUartPrefix) && name.size() > kUartPrefix.size() &&
           std::all_of(name.begin() + kUartPrefix.size(), name.end(), is_digit);
}

// A run of digits at `i`, without its leading zeros.
std::string_view digit_run(std::string_view s, std::size_t& i) {
    const std::size_t begin = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    std::string_view run = s.substr(begin, i - begin);
    while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
    return run;
}

// "ttyUSB2" before "ttyUSB10": digit runs compare as numbers, everything else as characters.
bool natural_less(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            const auto x = digit_run(a, i);
            const auto y = digit_run(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool port_order(const std::string& a, const std::string& b) {
    const bool usb_a = is_usb(a);
    const bool usb_b = is_usb(b);
    if (usb_a != usb_b) return usb_a;
    return natural_less(a, b);
}

// Lookups go relative to the open tty folder: resolving every path from "/" again costs about
// as much as the rest of the scan.

// A UART slot the kernel reserved but found no chip for has type 0 (PORT_UNKNOWN).
bool uart_present(int dir_fd, const std::string& name) {
    const UniqueFd fd(::openat(dir_fd, (name + "/type").c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    char text[16] = {};
    const ssize_t n = ::read(fd.get(), text, sizeof text - 1);
    long type = 0;
    const auto [end, error] = std::from_chars(text, text + std::max<ssize_t>(n, 0), type);
    return error == std::errc() && end != text && type != 0;
}

bool has_driver(int dir_fd, const std::string& name) {
    return ::faccessat(dir_fd, (name + "/device/driver").c_str(), F_OK, 0) == 0;
}

bool is_port(int dir_fd, const std::string& name) {
    if (is_uart(name) && !uart_present(dir_fd, name)) return false;
    return has_driver(dir_fd, name);
}

// "console/active" names the consoles, blank-separated ("tty0 ttyS0"); it is a few bytes long.
std::vector<std::string> console_names(int dir_fd) {
    std::vector<std::string> names;
    const UniqueFd fd(::openat(dir_fd, "console/active", O_RDONLY | O_CLOEXEC));
    if (!fd) return names;
    char text[256];
    const ssize_t n = ::read(fd.get(), text, sizeof text);
    std::string_view rest(text, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    while (!rest.empty()) {
        const auto begin = rest.find_first_not_of(" \t\n");
        if (begin == std::string_view::npos) break;
        rest.remove_prefix(begin);
        const auto end = std::min(rest.find_first_of(" \t\n"), rest.size());
        names.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end);
    }
    return names;
}

struct KernelPorts {
    std::vector<std::string> names;
    std::vector<std::string> consoles;
};

KernelPorts kernel_ports(const fs::path& sysfs_tty_root) {
    KernelPorts ports;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(sysfs_tty_root.c_str()), ::closedir);
    if (!dir) return ports;
    const int dir_fd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name.front() == '.') continue;
        if (is_port(dir_fd, name)) ports.names.push_back(std::move(name));
    }
    ports.consoles = console_names(dir_fd);
    return ports;
}

// The names of the symbolic links in `folder`, in name order; none when it is absent.
std::vector<std::string> links_in(const fs::path& folder) {
    std::vector<std::string> links;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return links;
    const int dir_fd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.') continue;
        struct stat st {};
        if (::fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode)) {
            links.emplace_back(entry->d_name);
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

class SystemPortLister final : public PortLister {
  public:
    SystemPortLister(fs::path sysfs_tty_root, fs::path serial_root)
        : root_(std::move(sysfs_tty_root)), serial_root_(std::move(serial_root)) {}

    std::vector<PortEntry> list() override {
        // Read on every scan so a simulator started later is picked up.
        const char* extra = std::getenv(kExtraPortsVariable);
        return discover_ports(root_, split_extra_ports(extra ? extra : ""));
    }

    PortAccess access(const PortEntry& entry) override { return access_.check(entry.path); }

    void add_stable_names(std::vector<PortEntry>& ports) override {
        find_stable_names(ports, serial_root_);
    }

  private:
    fs::path root_;
    fs::path serial_root_;
    SystemPortAccess access_;
};

}  // namespace

std::vector<PortEntry> discover_ports(const fs::path& sysfs_tty_root,
                                      const std::vector<std::string>& extra_paths) {
    auto [names, consoles] = kernel_ports(sysfs_tty_root);
    std::sort(names.begin(), names.end(), port_order);
    if (names.size() > kMaxKernelPorts) names.resize(kMaxKernelPorts);

    std::vector<PortEntry> ports;
    std::vector<PortEntry> console_ports;
    ports.reserve(names.size() + extra_paths.size());
    for (auto& name : names) {
        const bool console = std::find(consoles.begin(), consoles.end(), name) != consoles.end();
        (console ? console_ports : ports).push_back({name, "/dev/" + name, console});
    }
    ports.insert(ports.end(), console_ports.begin(), console_ports.end());
    // The extras go before the consoles; one the kernel already listed is not listed twice.
    auto extras_end = ports.end() - static_cast<std::ptrdiff_t>(console_ports.size());
    for (const auto& path : extra_paths) {
        const bool listed = std::any_of(ports.begin(), ports.end(),
                                        [&](const PortEntry& p) { return p.path == path; });
        if (path.empty() || listed) continue;
        extras_end = ports.insert(extras_end, {path, path}) + 1;
    }
    return ports;
}

void find_stable_names(std::vector<PortEntry>& ports, const fs::path& serial_root) {
    std::vector<DeviceKey> keys;
    keys.reserve(ports.size());
    for (PortEntry& port : ports) {
        keys.push_back(device_key(port.path));
        port.by_id.clear();
        port.by_path.clear();
    }
    const auto scan = [&](const char* kind, std::vector<std::string> PortEntry::*names) {
        const fs::path folder = serial_root / kind;
        for (const std::string& link : links_in(folder)) {
            const std::string path = (folder / link).string();
            const DeviceKey key = device_key(path);
            if (key.kind == DeviceKey::Kind::Absent) continue;
            for (std::size_t i = 0; i < ports.size(); ++i) {
                if (keys[i] == key) (ports[i].*names).push_back(path);
            }
        }
    };
    scan("by-id", &PortEntry::by_id);
    scan("by-path", &PortEntry::by_path);
}

std::vector<std::string> split_extra_ports(const std::string& text) {
    std::vector<std::string> items;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const auto colon = std::min(text.find(':', begin), text.size());
        if (colon > begin) items.push_back(text.substr(begin, colon - begin));
        begin = colon + 1;
    }
    return items;
}

std::unique_ptr<PortLister> make_system_port_lister(const fs::path& sysfs_tty_root,
                                                    const fs::path& serial_root) {
    return std::make_unique<SystemPortLister>(sysfs_tty_root, serial_root);
}

std::string device_path_for(const std::string& list_entry) {
    if (list_entry.empty()) return "";
    if (list_entry.front() == '/') return list_entry;
    return "/dev/" + list_entry;
}

}  // namespace velkon
