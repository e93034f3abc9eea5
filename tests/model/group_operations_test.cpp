// The six group operations on the enabled state, option-button groups, and the change listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/window_model.h"
#include "support/test_support.h"

namespace velkon {
namespace {

using Operation = void (WindowModel::*)();

struct GroupCase {
    std::string label;
    std::vector<Operation> operations;  // run in order on the window as after start-up
    std::map<ControlName, bool> enabled;
};

void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << c.label;
}

std::vector<GroupCase> group_cases() {
    const Operation open = &WindowModel::toggle_tags_8_to_129;
    const Operation close = &WindowModel::disable_tags_above_7;
    return {
        {"LinkOpened",
         {open},
         {{ctl::SSTab1, true},       {ctl::BTNCloseCom, true}, {ctl::Chg_pass, true},
          {ctl::apn, true},          {ctl::time_otpr, true},   {ctl::MsgCom, true},
          {ctl::cfg_file, true},     {ctl::txtRec, true},      {ctl::ko, true},
          {ctl::CmbNet, true},       {ctl::Frame11, true},     {ctl::r11, true},
          {ctl::R485, true},         {ctl::iinv, true},        {ctl::CmbPort, true},
          {ctl::BTNOpenCom, true},   {ctl::Command3, true},    {ctl::Frame14, true},
          {ctl::ProgressBar1, true}, {ctl::Pic, true},         {ctl::D_4096, false},
          {ctl::Label6, false},      {ctl::R_a, false},        {ctl::R_p, false},
          {ctl::R_p485, false},      {ctl::sdv_hi, false},     {ctl::Timer1, false},
          {ctl::TMRComm, false}}},
        {"SwitchTagsInvertsSoASecondCallDisablesAgain",
         {open, open},
         {{ctl::SSTab1, false},
          {ctl::apn, false},
          {ctl::BTNCloseCom, false},
          {ctl::CmbPort, true},
          {ctl::BTNOpenCom, true},
          {ctl::Command3, true}}},
        {"Version130",
         {open, &WindowModel::enable_tag_130},
         {{ctl::R_a, true},
          {ctl::R_f, true},
          {ctl::R_analog, true},
          {ctl::R_fr, true},
          {ctl::R_p, false},
          {ctl::цццц, false},
          {ctl::D_4096, false},
          {ctl::sdv_low, false}}},
        {"Version131",
         {open, &WindowModel::enable_tag_131},
         {{ctl::R_p, true}, {ctl::цццц, true}, {ctl::R_a, false}, {ctl::R_p485, false}}},
        {"Version134ChangesNothingHere",
         {open, &WindowModel::enable_tags_135_to_162},
         {{ctl::R_a, false}, {ctl::R_p, false}, {ctl::D_4096, false}, {ctl::SSTab1, true}}},
        {"Version163",
         {open, &WindowModel::enable_tag_163},
         {{ctl::D_4096, true},
          {ctl::Label6, true},
          {ctl::R_p485, true},
          {ctl::Label2, true},
          {ctl::sdv_hi, true},
          {ctl::sdv_low, true},
          {ctl::R_a, false},
          {ctl::R_p, false}}},
        {"VersionGroupsAreEnabledEvenWithTheLinkClosed",
         {&WindowModel::enable_tag_163},
         {{ctl::D_4096, true}, {ctl::SSTab1, false}}},
        {"LinkClosedAfterEverything",
         {open, &WindowModel::enable_tag_130, &WindowModel::enable_tag_131,
          &WindowModel::enable_tag_163, close},
         {{ctl::SSTab1, false},
          {ctl::apn, false},
          {ctl::BTNCloseCom, false},
          {ctl::D_4096, false},
          {ctl::R_a, false},
          {ctl::R_p, false},
          {ctl::sdv_hi, false},
          {ctl::CmbPort, true},
          {ctl::BTNOpenCom, true},
          {ctl::Command3, true},
          {ctl::Frame14, true},
          {ctl::ProgressBar1, true},
          {ctl::Pic, true},
          {ctl::Frame2, true},
          {ctl::k, true},
          {ctl::sl3, true}}},
        {"ReopenedAfterAClose",
         {open, close, open},
         {{ctl::SSTab1, true}, {ctl::apn, true}, {ctl::D_4096, false}}},
    };
}

class GroupOperation : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupOperation, LeavesEachControlEnabledOrNot) {
    WindowModel model;
    model.tag_untagged("2");
    for (const Operation op : GetParam().operations) (model.*op)();
    for (const auto& [name, enabled] : GetParam().enabled)
        EXPECT_EQ(model.enabled(name), enabled) << name;
}

INSTANTIATE_TEST_SUITE_P(Window, GroupOperation, ::testing::ValuesIn(group_cases()),
                         [](const auto& info) { return info.param.label; });

// A small window of its own, one control per tag.
WindowModel tagged(const std::vector<std::string>& tags) {
    std::vector<Control> controls;
    for (const auto& tag : tags) {
        Control c;
        c.name = "t" + tag;
        c.kind = ControlKind::Label;
        c.tag = tag;
        c.enabled = false;
        controls.push_back(c);
    }
    return WindowModel(std::move(controls));
}

// Tags are read as numbers: "10" is above 7 and "1000" above 130, though neither is as text.
TEST(GroupOperations, CompareTagsAsNumbers) {
    const std::vector<std::string> tags = {"2",   "7",    "8",    "08",  "10",  "129",
                                           "130", "0130", "131",  "134", "135", "162",
                                           "163", "200",  "1000", "abc", ""};
    const struct {
        Operation op;
        std::vector<std::string> enabled;
    } cases[] = {
        {&WindowModel::toggle_tags_8_to_129, {"8", "08", "10", "129"}},
        {&WindowModel::enable_tag_130, {"130", "0130"}},
        {&WindowModel::enable_tag_131, {"131"}},
        {&WindowModel::enable_tags_135_to_162, {"135", "162"}},
        {&WindowModel::enable_tag_163, {"163"}},
    };
    for (const auto& c : cases) {
        WindowModel model = tagged(tags);
        (model.*c.op)();
        for (const auto& tag : tags) {
            const bool expected =
                std::find(c.enabled.begin(), c.enabled.end(), tag) != c.enabled.end();
            EXPECT_EQ(model.enabled(ControlName("t" + tag)), expected) << "tag '" << tag << "'";
        }
    }

    WindowModel model = tagged(tags);
    for (const auto& tag : tags) model.set_enabled(ControlName("t" + tag), true);
    model.disable_tags_above_7();
    for (const std::string tag : {"8", "08", "10", "130", "163", "200", "1000"})
        EXPECT_FALSE(model.enabled(ControlName("t" + tag))) << tag;
    for (const std::string tag : {"2", "7", "abc", ""})
        EXPECT_TRUE(model.enabled(ControlName("t" + tag))) << tag;
}

TEST(GroupOperations, StartUpTagsOnlyTheUntagged) {
    WindowModel model;
    model.tag_untagged("2");
    for (const Control& c : model.controls()) EXPECT_FALSE(c.tag.empty()) << c.name;
    EXPECT_EQ(model[ctl::CmbPort].tag, "7");
    EXPECT_EQ(model[ctl::D_4096].tag, "163");
    EXPECT_EQ(model[ctl::Command3].tag, "2");
}

TEST(OptionGroups, OneSelectedPerFrame) {
    WindowModel model;
    model.set_checked(ctl::R_p485, true);
    EXPECT_TRUE(model.checked(ctl::R_p485));
    for (ControlName name : {ctl::R485, ctl::R_a, ctl::R_f, ctl::R_p})
        EXPECT_FALSE(model.checked(name));
    model.set_checked(ctl::r13, true);
    EXPECT_FALSE(model.checked(ctl::r11));
    EXPECT_TRUE(model.checked(ctl::r21));  // the other input's frame is its own group
    EXPECT_TRUE(model.checked(ctl::R_p485));
    // Check boxes are not a group.
    model.set_checked(ctl::Check1, true);
    model.set_checked(ctl::Check2, true);
    EXPECT_TRUE(model.checked(ctl::Check1));
}

// Records which controls the listener heard about.
struct Heard {
    std::vector<std::string> names;
    void attach(WindowModel& model) {
        model.set_listener([this, &model](int index) { names.push_back(model.at(index).name); });
    }
    std::vector<std::string> take() { return std::exchange(names, {}); }
};

using Names = std::vector<std::string>;

TEST(ChangeListener, HearsOncePerRealChange) {
    WindowModel model;
    Heard heard;
    heard.attach(model);

    model.set_text(ctl::MsgCom, "");  // already empty
    model.set_enabled(ctl::BTNOpenCom, true);
    model.set_checked(ctl::R485, true);
    model.set_value(ctl::ProgressBar1, 0);
    model.set_color(ctl::Pic, 0x00FFFF);
    model.clear_items(ctl::CmbNet);  // no entries, none selected
    EXPECT_EQ(heard.take(), Names{});

    model.set_text(ctl::MsgCom, "Датчик не отвечает");
    model.set_tooltip(ctl::gorizont, "x");
    model.set_visible(ctl::Label42, false);
    model.set_value(ctl::ProgressBar1, 10);
    model.set_maximum(ctl::ProgressBar1, 4096);
    model.set_color(ctl::Pic, 0x0000FF);
    model.set_tab(1);
    EXPECT_EQ(heard.take(),
              (test::names_of({ctl::MsgCom, ctl::gorizont, ctl::Label42, ctl::ProgressBar1,
                               ctl::ProgressBar1, ctl::Pic, ctl::SSTab1})));

    model.set_checked(ctl::R_a, true);  // R485 loses its mark
    EXPECT_EQ(heard.take(), (test::names_of({ctl::R485, ctl::R_a})));

    model.set_items(ctl::CmbPort, {"ttyUSB0"});
    model.set_items(ctl::CmbPort, {"ttyUSB0"});
    model.set_selected(ctl::CmbPort, 0);
    model.set_selected(ctl::CmbPort, 0);
    model.add_item(ctl::CmbNet, "0");
    EXPECT_EQ(heard.take(), (test::names_of({ctl::CmbPort, ctl::CmbPort, ctl::CmbNet})));

    model.toggle_tags_8_to_129();
    const auto switched = heard.take();
    EXPECT_EQ(std::count(switched.begin(), switched.end(), ctl::SSTab1), 1);
    EXPECT_EQ(std::count(switched.begin(), switched.end(), ctl::CmbPort), 0);
    model.enable_tags_135_to_162();
    EXPECT_EQ(heard.take(), Names{});

    model.set_timer_enabled(ctl::Timer1, true);
    model.set_timer_enabled(ctl::Timer1, true);
    EXPECT_EQ(heard.take(), test::names_of({ctl::Timer1}));
}

}  // namespace
}  // namespace velkon
