// A window wired for the exchange tick and the connection handlers: the fixture's fake port and
// scripted seams, plus dialogs that can run code while a box is "open" and a read runner that can
// hold a read in flight.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/form.h"
#include "protocol/frame.h"
#include "support/form_fixture.h"

namespace velkon::testing {

// Scripted dialogs whose message boxes run `while_open` as the box shows: the window's event
// loop keeps running under a modal box, so timer events can arrive there.
class HookDialogs : public ScriptedDialogs {
  public:
    std::function<void(const std::string&)> while_open;
    void message(const std::string& text, Icon icon, const std::string& title) override {
        ScriptedDialogs::message(text, icon, title);
        if (while_open) while_open(text);
    }
};

// Reads at once, like the synchronous runner, unless told to hold the next read: then the read
// happens (and `done` runs) only when the test calls complete().
class HoldingRunner : public ReadRunner {
  public:
    bool hold = false;
    void read(SerialPort& port, std::function<void(std::string)> done) override {
        if (!hold) {
            done(port.ReadPort());
            return;
        }
        port_ = &port;
        held_ = std::move(done);
    }
    bool holding() const { return static_cast<bool>(held_); }
    void complete() {
        auto done = std::move(held_);
        held_ = nullptr;
        done(port_->ReadPort());
    }

  private:
    SerialPort* port_ = nullptr;
    std::function<void(std::string)> held_;
};

inline std::string bytes(std::initializer_list<int> list) {
    return FormFixture::bytes(list);
}

// A frame with its check byte appended.
inline Frame framed(std::initializer_list<int> list) {
    return Control_summ(bytes(list));
}

inline const Frame kReadingsRequest = framed({0x31, 0x01, 0xF0});  // 31 01 F0 C5
inline const Frame kLiveRequest = framed({0x3E, 0xCA, 0xA0});      // 3E CA A0 D6

struct LinkRig {
    ScratchDir folder;
    WindowModel model;
    FakePort port;
    FakeLister lister;
    HookDialogs dialogs;
    FixedClock clock;
    HoldingRunner reader;
    Form form{model, FormSeams{port, lister, dialogs, clock, reader, folder.path()}};

    FormVars& vars() { return model.vars; }

    // The state right after a port was opened from a started window: the address box holds the
    // single entry "0", page "Датчик", the link's groups enabled, the exchange timer running.
    void open_link() {
        model.set_items("CmbNet", {"0"});
        model.set_selected("CmbNet", 0);
        vars().mode_yes = true;
        vars().Ur_progressBar = 1024;
        model.set_items("CmbPort", {"ttyUSB0"});
        model.set_selected("CmbPort", 0);
        form.BTNOpenCom_Click();
        port.calls.clear();
    }
    // One tick with `answer` waiting on the line ("" = silence).
    void tick(const std::string& answer) {
        port.reads.push_back(answer);
        form.TMRComm_Timer();
    }
};

}  // namespace velkon::testing
