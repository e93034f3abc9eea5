// The sensor command set end to end: the real serial driver on a pseudo-terminal, the exchange
// tick, and the simulated sensor and unit answering on the other side.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/sim_window.h"

namespace velkon {
namespace {

using sim::Device;

// Ticks it may take for a command's answer to come back: the tick that sends the command reads
// the answer to the previous request, the next one reads the command's answer. The margin covers
// a read that gave up before a slow answer arrived.
constexpr int kTickBound = 8;

struct SimRig : testing::SimWindow {
    // Ticks until the status line shows `status`; false when it did not within the bound.
    bool tick_until(const std::string& status) {
        for (int i = 0; i < kTickBound; ++i) {
            app.exchange().start_tick();
            if (model.text(ctl::MsgCom) == status) return true;
        }
        return false;
    }

    template <class F>
    auto device(F&& f) {
        return server.with_device(std::forward<F>(f));
    }
};

struct Step {
    std::string what;
    std::function<void(SimRig&)> command;  // scripts the dialogs and clicks
    std::string status;                    // the answer's text in MsgCom
    std::function<void(SimRig&)> verify = [](SimRig&) {};
};

std::function<void(SimRig&)> click(ControlName control, std::vector<bool> answers = {},
                                   std::vector<std::string> inputs = {}) {
    return [=](SimRig& r) {
        r.dialogs.answers.assign(answers.begin(), answers.end());
        r.dialogs.inputs.assign(inputs.begin(), inputs.end());
        r.app.fire(control);
    };
}

std::function<void(SimRig&)> set_text(ControlName control, std::string text,
                                      std::function<void(SimRig&)> then) {
    return [=](SimRig& r) {
        r.model.set_text(control, text);
        then(r);
    };
}

TEST(SensorCommandsOnTheSimulator, EveryAnswerComesBackWithItsStatus) {
    SimRig r;
    ASSERT_TRUE(r.open()) << r.server.error();
    ASSERT_TRUE(r.tick_until("Получены данные."));
    std::uint32_t full_value = 0;  // the sensor's full-level value after its calibration

    const Step steps[] = {
        {"full level", click(ctl::hig, {true}), " Установлен верхний уровень.",
         [&](SimRig& rig) {
             full_value = rig.device([](Device& d) { return d.sensor().full_value; });
         }},
        {"empty level", click(ctl::low, {true}), " Установлен нижний уровень."},
        {"shift of the full level", set_text(ctl::sdv_verh, "25", click(ctl::sdv_hi, {true})),
         "Сдвинут верхний уровень.",
         [&](SimRig& rig) {
             EXPECT_EQ(rig.device([](Device& d) { return d.sensor().full_value; }),
                       full_value + 25);
         }},
        {"shift of the empty level", set_text(ctl::sdv_niz, "-1", click(ctl::sdv_low, {true})),
         "Сдвинут нижний уровень."},
        {"mode",
         [](SimRig& rig) {
             rig.model.set_checked(ctl::R_a, true);
             rig.model.set_checked(ctl::usredn, true);
             rig.model.set_checked(ctl::D_4096, false);
             rig.model.set_checked(ctl::iinv, false);
             click(ctl::Set_mode, {true})(rig);
             // Edited again before the answer: the answer, not the controls, has the last word.
             rig.model.set_checked(ctl::R485, true);
             rig.model.set_checked(ctl::usredn, false);
         },
         " Установлен новый режим.",
         [](SimRig& rig) {
             EXPECT_EQ(rig.device([](Device& d) { return d.sensor().mode; }), 0x0A);
             EXPECT_TRUE(rig.model.checked(ctl::R_a));
             EXPECT_FALSE(rig.model.checked(ctl::R485));
             EXPECT_TRUE(rig.model.checked(ctl::usredn));
         }},
        {"network address (unchanged)", click(ctl::net, {}, {"1"}), " Установлен сетевой номер."},
        {"sensor serial number", set_text(ctl::sn, "4242", click(ctl::next_ser_num)),
         "Установлен серийный номер.",
         [](SimRig& rig) {
             EXPECT_EQ(rig.device([](Device& d) { return d.sensor().serial; }), 4243u);
         }},
        {"unit serial number", click(ctl::InstSN, {}, {"77"}), "Установлен серийный номер.",
         [](SimRig& rig) {
             EXPECT_EQ(rig.device([](Device& d) { return d.tracker().serial; }), 77u);
         }},
        {"new password", click(ctl::Chg_pass, {true}, {"1234"}), "Пароль изменен."},
        {"calibration refused without the password", click(ctl::hig, {true}), "Неверный пароль."},
        {"wrong password", click(ctl::Vvod_PWD, {}, {"999"}), "Неверный пароль."},
        {"right password", click(ctl::Vvod_PWD, {}, {"1234"}), "Пароль принят."},
        {"calibration with the password", click(ctl::low, {true}), " Установлен нижний уровень."},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        r.model.set_text(ctl::MsgCom, "");
        step.command(r);
        ASSERT_TRUE(r.tick_until(step.status)) << "status: " << r.model.text(ctl::MsgCom);
        step.verify(r);
    }
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{"Неверный пароль", "Неверный пароль"}));
}

}  // namespace
}  // namespace velkon
