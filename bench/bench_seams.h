// The window's seams that the benchmarked ticks and scans do not use, or use without waiting.
#pragma once

#include <string>
#include <vector>

#include "app/seams.h"
#include "serial/port_discovery.h"

namespace velkon::bench {

class QuietDialogs : public Dialogs {
  public:
    void message(const std::string&, Icon, const std::string&) override {}
    bool yes_no(const std::string&) override { return false; }
    std::string input(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
};

class FixedClock : public Clock {
  public:
    std::string now_text() override { return "10.12.2026 09:15:30"; }
};

class OneLineLister : public PortLister {
  public:
    explicit OneLineLister(std::string path) : path_(std::move(path)) {}
    std::vector<PortEntry> list() override { return {{path_, path_}}; }

  private:
    std::string path_;
};

}  // namespace velkon::bench
