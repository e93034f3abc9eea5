// The stand-ins every handler test, window test and benchmark shares: scripted dialogs, a fixed
// clock, a fake port and port list, a read runner that can hold a read in flight, and the bundle
// of them with the window model and a temporary program folder.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/configurator.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "support/test_support.h"

namespace velkon::testing {

// Message, question and input boxes: records what was shown, answers from scripts. A question or
// input box with no scripted answer fails the test (and answers No / cancel). `while_open` runs
// while a message box shows: the window's event loop keeps running under a modal box, so timer
// events can arrive there.
class ScriptedDialogs : public Dialogs {
  public:
    struct Shown {
        std::string text;
        Icon icon;
        std::string title;
    };
    struct Asked {
        std::string prompt;
        std::string title;
        std::string initial;
    };

    std::vector<Shown> messages;
    std::vector<std::string> questions;
    std::vector<std::string> question_titles;  // one per question
    std::vector<Asked> inputs_asked;
    std::deque<bool> answers;        // for yes_no, in order
    std::deque<std::string> inputs;  // for input, in order ("" = cancelled)

    std::function<void(const std::string&)> while_open;
    // Runs while a question or an input box is open, before it is answered.
    std::function<void(const std::string&)> while_asked;

    // File boxes: what each was asked to show, and the paths they give, in order ("" = cancelled).
    struct FileAsked {
        bool saving;
        std::string title;
        std::filesystem::path start;
        std::vector<FileFilter> filters;
    };
    std::vector<FileAsked> files_asked;
    std::deque<std::filesystem::path> files;

    std::filesystem::path open_file(const std::string& title, const std::filesystem::path& start,
                                    const std::vector<FileFilter>& filters) override {
        return pick_file(false, title, start, filters);
    }
    std::filesystem::path save_file(const std::string& title, const std::filesystem::path& start,
                                    const std::vector<FileFilter>& filters) override {
        return pick_file(true, title, start, filters);
    }
    std::filesystem::path pick_file(bool saving, const std::string& title,
                                    const std::filesystem::path& start,
                                    const std::vector<FileFilter>& filters) {
        files_asked.push_back({saving, title, start, filters});
        if (files.empty()) {
            ADD_FAILURE() << "unexpected file box: " << title;
            return {};
        }
        std::filesystem::path path = files.front();
        files.pop_front();
        return path;
    }

    void message(const std::string& text, Icon icon, const std::string& title) override {
        messages.push_back({text, icon, title});
        if (while_open) while_open(text);
    }
    bool yes_no_titled(const std::string& text, const std::string& title) override {
        question_titles.push_back(title);
        return yes_no(text);
    }
    bool yes_no(const std::string& text) override {
        if (question_titles.size() < questions.size() + 1) question_titles.push_back(kAppTitle);
        questions.push_back(text);
        if (while_asked) while_asked(text);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    std::string input(const std::string& prompt, const std::string& title,
                      const std::string& initial) override {
        inputs_asked.push_back({prompt, title, initial});
        if (while_asked) while_asked(prompt);
        if (inputs.empty()) {
            ADD_FAILURE() << "unexpected input box: " << prompt;
            return {};
        }
        std::string text = inputs.front();
        inputs.pop_front();
        return text;
    }
    // The texts of the message boxes shown, in order.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(m.text);
        return out;
    }
};

// Stands still unless the test moves it.
class FixedClock : public Clock {
  public:
    std::string now = "10.12.2026 09:15:30";
    std::chrono::milliseconds since_start{0};
    std::string now_text() override { return now; }
    std::chrono::milliseconds monotonic() override { return since_start; }
};

// A port that records every write and plays back scripted reads ("" when none is left).
class FakePort : public SerialPort {
  public:
    bool open_succeeds = true;
    OpenError open_error;
    std::deque<std::string> reads;
    std::vector<std::string> writes;
    std::vector<std::string> calls;  // "open <path>", "close", "flush", "read", "write"
    int write_limit = -1;            // >= 0: each write sends at most this many bytes
    std::string opened_path;

    bool OpenPort(const std::string& path, const LineSettings& line) override {
        calls.push_back("open " + path);
        opened_path = path;
        line_ = line;
        open_ = open_succeeds;
        return open_;
    }
    void ClosePort() override {
        calls.push_back("close");
        open_ = false;
    }
    void FlushPort() override { calls.push_back("flush"); }
    std::string ReadPort() override {
        calls.push_back("read");
        if (reads.empty()) return {};
        std::string r = reads.front();
        reads.pop_front();
        return r;
    }
    int WritePort(const std::string& data) override {
        calls.push_back("write");
        writes.push_back(data);
        if (write_limit >= 0 && static_cast<int>(data.size()) > write_limit) return write_limit;
        return static_cast<int>(data.size());
    }
    bool is_open() const override { return open_; }
    bool hung_up() const override { return false; }
    const OpenError& last_open_error() const override { return open_error; }
    const LineSettings& line() const { return line_; }

  private:
    bool open_ = false;
    LineSettings line_;
};

class FakeLister : public PortLister {
  public:
    std::vector<PortEntry> entries;
    std::vector<PortEntry> list() override { return entries; }
};

// Reads at once, like the synchronous runner, unless told to hold the next read: then the read
// happens (and `done` runs) only when the test calls complete().
class HoldingRunner : public PortIoRunner {
  public:
    bool hold = false;
    void exchange(SerialPort& port, std::string request, std::function<bool()> still_current,
                  std::function<void(TickIo)> done) override {
        if (!hold) {
            done(exchange_now(port, request, still_current));
            return;
        }
        held_ = [&port, request = std::move(request), still_current = std::move(still_current),
                 done = std::move(done)] { done(exchange_now(port, request, still_current)); };
    }
    bool holding() const { return static_cast<bool>(held_); }
    void complete() {
        auto held = std::move(held_);
        held_ = nullptr;
        held();
    }

  private:
    std::function<void()> held_;
};

// Builds a byte string from numbers (no check byte added).
inline std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out.push_back(static_cast<char>(b));
    return out;
}

// A frame with its check byte appended.
inline Frame framed(std::initializer_list<int> list) {
    return Control_summ(bytes(list));
}

inline const Frame kReadingsRequest = framed({0x31, 0x01, 0xF0});  // 31 01 F0 C5
inline const Frame kLiveRequest = framed({0x3E, 0xCA, 0xA0});      // 3E CA A0 D6

// Everything the configurator needs besides its port and read runner.
struct StandIns {
    test::TempDir folder;
    WindowModel model;
    ScriptedDialogs dialogs;
    FixedClock clock;
    FakeLister lister;

    FormVars& vars() { return model.vars; }
    ConfiguratorSeams seams(SerialPort& port, PortIoRunner& reader) {
        return {port, lister, dialogs, clock, reader, folder.path()};
    }
};

}  // namespace velkon::testing
