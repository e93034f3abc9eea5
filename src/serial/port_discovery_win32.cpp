// Port discovery on Windows. The system's SERIALCOMM map names every serial port there is
// (COM31 and above included) and costs one registry read; only where it is empty are COM1..COM30
// asked one by one. Each question (GetDefaultCommConfig) opens no device, but loads the port's
// configuration provider: 30 of them take from a few to a few hundred milliseconds under wine,
// too long for the window's thread every 100 ms. So a worker asks, and the port scan takes its
// latest answer.
//
// The worker asks only on demand: each list() wakes it for one more scan (at most one per
// 100 ms). The port scan stops while a port is open, so nobody asks and the worker sleeps.
#include "serial/port_discovery_win32.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace velkon {

namespace {

// The configuration record the query fills; its content is not used.
constexpr DWORD kCommConfigBytes = 112;
constexpr const char* kDevicePrefix = "\\\\.\\";

constexpr std::chrono::milliseconds kRescanEvery{100};

bool comm_config_exists(const std::string& name) {
    alignas(COMMCONFIG) unsigned char record[kCommConfigBytes] = {};
    DWORD size = kCommConfigBytes;
    return GetDefaultCommConfigA(name.c_str(), reinterpret_cast<COMMCONFIG*>(record), &size) != 0;
}

std::vector<PortEntry> probe_ports() {
    std::vector<std::string> listed = system_serial_port_names();
    if (listed.empty()) return list_com_ports(comm_config_exists);
    // The serial drivers keep the map: a port is there while its device is. Asking each one
    // again would load its configuration provider every 100 ms for nothing.
    return list_named_ports(std::move(listed), [](const std::string&) { return true; });
}

// The number of a "COMn" name, 0 for any other name.
int com_number(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return 0;
    int number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

PortEntry entry_for(std::string name) {
    PortEntry entry;
    entry.path = kDevicePrefix + name;
    entry.name = std::move(name);
    return entry;
}

class ComPortLister final : public PortLister {
  public:
    // The first answer is there before the window shows its first list.
    ComPortLister() : latest_(probe_ports()), worker_([this] { run(); }) {}
    ~ComPortLister() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }

    std::vector<PortEntry> list() override {
        std::lock_guard lock(mutex_);
        wanted_ = true;
        wake_.notify_one();
        return latest_;
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || wanted_; });
            if (stopping_) return;
            wanted_ = false;
            lock.unlock();
            std::vector<PortEntry> found = probe_ports();
            lock.lock();
            latest_ = std::move(found);
            // Asks that come sooner are served together by the next scan.
            if (wake_.wait_for(lock, kRescanEvery, [this] { return stopping_; })) return;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool wanted_ = false;
    std::vector<PortEntry> latest_;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace

std::string com_port_name(int number) {
    return "COM" + std::to_string(number);
}

int PortExists(int number) {
    return comm_config_exists(com_port_name(number)) ? 1 : 0;
}

std::vector<PortEntry> list_com_ports(const std::function<bool(const std::string&)>& exists) {
    std::vector<PortEntry> ports;
    for (int number = 1; number <= kHighestComPort; ++number) {
        std::string name = com_port_name(number);
        if (exists(name)) ports.push_back(entry_for(std::move(name)));
    }
    return ports;
}

std::vector<PortEntry> list_named_ports(std::vector<std::string> names,
                                        const std::function<bool(const std::string&)>& exists) {
    // COM1..COM30 rank by number; higher COM numbers after them by number; other names last.
    const auto rank = [](const std::string& name) {
        const int number = com_number(name);
        return number > 0 ? number : 1'000'000;
    };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
        const int ra = rank(a);
        const int rb = rank(b);
        return ra != rb ? ra < rb : a < b;
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    std::vector<PortEntry> ports;
    for (std::string& name : names) {
        if (!name.empty() && exists(name)) ports.push_back(entry_for(std::move(name)));
    }
    return ports;
}

std::vector<std::string> system_serial_port_names() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t value_name[256];
        DWORD name_length = 256;
        wchar_t data[64];
        DWORD data_bytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, value_name, &name_length, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &data_bytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long is no port name
        data[data_bytes / sizeof(wchar_t)] = L'\0';
        std::string name;
        for (const wchar_t* c = data; *c; ++c) {
            if (*c > 0x7F) {  // port names are ASCII; anything else is not one we can open
                name.clear();
                break;
            }
            name += static_cast<char>(*c);
        }
        if (!name.empty()) names.push_back(std::move(name));
    }
    RegCloseKey(key);
    return names;
}

// There is no sysfs and no /dev/serial on Windows: the roots name nothing here.
std::unique_ptr<PortLister> make_system_port_lister(const std::filesystem::path&,
                                                    const std::filesystem::path&) {
    return std::make_unique<ComPortLister>();
}

// A list entry is a device name ("COM3") and opened in the device namespace; a full path stands
// as it is.
std::string device_path_for(const std::string& list_entry) {
    if (list_entry.empty()) return "";
    if (list_entry.front() == '\\' || list_entry.front() == '/') return list_entry;
    return kDevicePrefix + list_entry;
}

}  // namespace velkon
