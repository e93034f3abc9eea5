// Port discovery on Windows: the system's default configuration of COM1..COM30 tells which exist.
// Asking for it opens no device, but it loads the port's configuration provider each time: 30
// questions take from a few to a few hundred milliseconds (under wine), too long for the window's
// thread every 100 ms. So a worker asks them in a loop and the port scan takes its latest answer.
#include "serial/port_discovery_win32.h"

#include <windows.h>

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

std::vector<PortEntry> probe_ports() {
    return list_com_ports(
        [](const std::string& name) { return PortExists(std::stoi(name.substr(3))) != 0; });
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
        return latest_;
    }

  private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, kRescanEvery, [this] { return stopping_; })) {
            lock.unlock();
            std::vector<PortEntry> found = probe_ports();
            lock.lock();
            latest_ = std::move(found);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::vector<PortEntry> latest_;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace

std::string com_port_name(int number) {
    return "COM" + std::to_string(number);
}

int PortExists(int number) {
    alignas(COMMCONFIG) unsigned char record[kCommConfigBytes] = {};
    DWORD size = kCommConfigBytes;
    const std::string name = com_port_name(number);
    return GetDefaultCommConfigA(name.c_str(), reinterpret_cast<COMMCONFIG*>(record), &size);
}

std::vector<PortEntry> list_com_ports(const std::function<bool(const std::string&)>& exists) {
    std::vector<PortEntry> ports;
    for (int number = 1; number <= kHighestComPort; ++number) {
        std::string name = com_port_name(number);
        if (!exists(name)) continue;
        std::string path = kDevicePrefix + name;
        PortEntry entry;
        entry.name = std::move(name);
        entry.path = std::move(path);
        ports.push_back(std::move(entry));
    }
    return ports;
}

// There is no sysfs on Windows: the root names nothing here.
std::unique_ptr<PortLister> make_system_port_lister(const std::filesystem::path&) {
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
