// A window with scripted seams for handler tests: the model, a fake port that records what is
// written and plays back what is read, scripted dialogs, a fixed clock and a temporary program
// folder. Everything runs synchronously on the test's thread.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "app/form.h"
#include "app/seams.h"
#include "model/window_model.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

namespace velkon::testing {

// Message, question and input boxes: records what was shown, answers from scripts. A question or
// input box with no scripted answer fails the test (and answers No / cancel).
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
    std::vector<Asked> inputs_asked;
    std::deque<bool> answers;        // for yes_no, in order
    std::deque<std::string> inputs;  // for input, in order ("" = cancelled)

    void message(const std::string& text, Icon icon, const std::string& title) override {
        messages.push_back({text, icon, title});
    }
    bool yes_no(const std::string& text) override {
        questions.push_back(text);
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

class FixedClock : public Clock {
  public:
    std::string now = "10.12.2026 09:15:30";
    std::string now_text() override { return now; }
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

    bool OpenPort(const std::string& path, const std::string& settings) override {
        calls.push_back("open " + path);
        opened_path = path;
        settings_ = settings;
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
    const std::string& settings() const { return settings_; }

  private:
    bool open_ = false;
    std::string settings_;
};

class FakeLister : public PortLister {
  public:
    std::vector<PortEntry> entries;
    std::vector<PortEntry> list() override { return entries; }
};

// A fresh temporary folder, removed with everything in it at the end.
class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velkon-XXXXXX").string();
        if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The whole window with scripted seams. Form_Load is not run: call it where a test needs it.
struct FormFixture {
    ScratchDir folder;
    WindowModel model;
    FakePort port;
    FakeLister lister;
    ScriptedDialogs dialogs;
    FixedClock clock;
    SyncReadRunner reader;
    Form form{model, FormSeams{port, lister, dialogs, clock, reader, folder.path()}};

    FormVars& vars() { return model.vars; }
    // Builds a frame string from bytes (no check byte added).
    static std::string bytes(std::initializer_list<int> list) {
        std::string out;
        for (int b : list) out.push_back(static_cast<char>(b));
        return out;
    }
};

}  // namespace velkon::testing
