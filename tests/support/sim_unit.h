// A simulated tracker unit on its own pseudo-terminal, with its own IMEI and faults, counting
// the requests it got by code: the fleet tests run several of them side by side.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "sim/pty_server.h"

namespace velkon::testing {

struct SimUnit {
    std::mutex mutex;
    std::vector<std::string> requests;  // hexadecimal
    sim::PtyServer server;

    explicit SimUnit(std::string imei = "356938035643809", sim::Faults faults = {})
        : server(make_device(std::move(imei), faults),
                 sim::ServerOptions{.log = [this](const std::string& line) {
                     std::lock_guard lock(mutex);
                     if (line.rfind("<- ", 0) == 0) requests.push_back(line.substr(3));
                 }}) {
        if (!server.start()) ADD_FAILURE() << server.error();
    }
    static sim::Device make_device(std::string imei, const sim::Faults& faults) {
        sim::TrackerState tracker;
        tracker.imei = std::move(imei);
        sim::Device device(sim::SensorState{}, tracker);
        device.faults() = faults;
        return device;
    }
    const std::string& port() const { return server.slave_path(); }
    // Requests with `code` (the third byte, "A3" for a configuration write).
    int sent(const std::string& code) {
        std::lock_guard lock(mutex);
        return static_cast<int>(std::count_if(requests.begin(), requests.end(),
                                              [&](auto& r) { return r.substr(6, 2) == code; }));
    }
    std::string device_id() {
        return server.with_device([](sim::Device& d) { return d.tracker().config.device_id; });
    }
};

}  // namespace velkon::testing
