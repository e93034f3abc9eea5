// Every control name a table of the handlers uses exists in the window, so a misspelt name is
// found by the tests rather than at a click.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sensor/mode_byte.h"
#include "support/form_fixture.h"
#include "tracker/record.h"

namespace velkon {
namespace {

using testing::FormFixture;

TEST(ControlNames, EveryTableNamesOnlyControlsOfTheWindow) {
    FormFixture f;
    std::vector<std::string> names;
    for (const EventRow& row : f.app.event_table()) names.push_back(row.control.str());
    for (const ConfigField& field : tracker_config_layout()) {
        names.push_back(field.control.str());
        if (field.kind == FieldKind::Mode) {
            for (ControlName option : field.options) names.push_back(option.str());
        }
    }
    for (ControlName name : live_data_controls()) names.push_back(name.str());
    for (ControlName name : sensor_command_controls()) names.push_back(name.str());
    for (const ModeControl& m : kOperatingModeButtons) names.push_back(m.control.str());
    for (const ModeControl& m : kModeFlagBoxes) names.push_back(m.control.str());
    for (const std::string& name : names) EXPECT_TRUE(f.model.find(name)) << name;
}

TEST(EventTable, EachControlEventHasOneRowAndTimersTick) {
    FormFixture f;
    std::set<std::pair<ControlName, ControlEvent>> seen;
    for (const EventRow& row : f.app.event_table()) {
        EXPECT_TRUE(seen.insert({row.control, row.event}).second) << row.control;
        const bool is_timer = f.model[row.control].kind == ControlKind::Timer;
        EXPECT_EQ(is_timer, row.event == ControlEvent::Timer) << row.control;
    }
}

TEST(EventTable, AnEventWithoutARowDoesNothing) {
    FormFixture f;
    f.vars().wrs = "pending";
    EXPECT_FALSE(f.app.fire(ctl::uroven));
    EXPECT_FALSE(f.app.fire(ctl::hig, ControlEvent::Change));
    f.app.on_event(-1, ControlEvent::Click);
    f.app.on_event(100000, ControlEvent::Click);
    EXPECT_EQ(f.vars().wrs, "pending");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

}  // namespace
}  // namespace velkon
