// The six group operations on the enabled state, option-button groups, and the change listener.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/window_model.h"

namespace velkon {
namespace {

using Operation = void (WindowModel::*)();

struct GroupCase {
    std::string label;
    std::vector<Operation> operations;  // run in order on the window as after start-up
    std::map<std::string, bool> enabled;
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
         {{"SSTab1", true},    {"BTNCloseCom", true}, {"Chg_pass", true},     {"apn", true},
          {"time_otpr", true}, {"MsgCom", true},      {"cfg_file", true},     {"txtRec", true},
          {"ko", true},        {"CmbNet", true},      {"Frame11", true},      {"r11", true},
          {"R485", true},      {"iinv", true},        {"CmbPort", true},      {"BTNOpenCom", true},
          {"Command3", true},  {"Frame14", true},     {"ProgressBar1", true}, {"Pic", true},
          {"D_4096", false},   {"Label6", false},     {"R_a", false},         {"R_p", false},
          {"R_p485", false},   {"sdv_hi", false},     {"Timer1", false},      {"TMRComm", false}}},
        {"SwitchTagsInvertsSoASecondCallDisablesAgain",
         {open, open},
         {{"SSTab1", false},
          {"apn", false},
          {"BTNCloseCom", false},
          {"CmbPort", true},
          {"BTNOpenCom", true},
          {"Command3", true}}},
        {"Version130",
         {open, &WindowModel::enable_tag_130},
         {{"R_a", true},
          {"R_f", true},
          {"R_analog", true},
          {"R_fr", true},
          {"R_p", false},
          {"цццц", false},
          {"D_4096", false},
          {"sdv_low", false}}},
        {"Version131",
         {open, &WindowModel::enable_tag_131},
         {{"R_p", true}, {"цццц", true}, {"R_a", false}, {"R_p485", false}}},
        {"Version134ChangesNothingHere",
         {open, &WindowModel::enable_tags_135_to_162},
         {{"R_a", false}, {"R_p", false}, {"D_4096", false}, {"SSTab1", true}}},
        {"Version163",
         {open, &WindowModel::enable_tag_163},
         {{"D_4096", true},
          {"Label6", true},
          {"R_p485", true},
          {"Label2", true},
          {"sdv_hi", true},
          {"sdv_low", true},
          {"R_a", false},
          {"R_p", false}}},
        {"VersionGroupsAreEnabledEvenWithTheLinkClosed",
         {&WindowModel::enable_tag_163},
         {{"D_4096", true}, {"SSTab1", false}}},
        {"LinkClosedAfterEverything",
         {open, &WindowModel::enable_tag_130, &WindowModel::enable_tag_131,
          &WindowModel::enable_tag_163, close},
         {{"SSTab1", false},
          {"apn", false},
          {"BTNCloseCom", false},
          {"D_4096", false},
          {"R_a", false},
          {"R_p", false},
          {"sdv_hi", false},
          {"CmbPort", true},
          {"BTNOpenCom", true},
          {"Command3", true},
          {"Frame14", true},
          {"ProgressBar1", true},
          {"Pic", true},
          {"Frame2", true},
          {"k", true},
          {"sl3", true}}},
        {"ReopenedAfterAClose",
         {open, close, open},
         {{"SSTab1", true}, {"apn", true}, {"D_4096", false}}},
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
            EXPECT_EQ(model.enabled("t" + tag), expected) << "tag '" << tag << "'";
        }
    }

    WindowModel model = tagged(tags);
    for (const auto& tag : tags) model.set_enabled("t" + tag, true);
    model.disable_tags_above_7();
    for (const std::string tag : {"8", "08", "10", "130", "163", "200", "1000"})
        EXPECT_FALSE(model.enabled("t" + tag)) << tag;
    for (const std::string tag : {"2", "7", "abc", ""})
        EXPECT_TRUE(model.enabled("t" + tag)) << tag;
}

TEST(GroupOperations, StartUpTagsOnlyTheUntagged) {
    WindowModel model;
    model.tag_untagged("2");
    for (const Control& c : model.controls()) EXPECT_FALSE(c.tag.empty()) << c.name;
    EXPECT_EQ(model["CmbPort"].tag, "7");
    EXPECT_EQ(model["D_4096"].tag, "163");
    EXPECT_EQ(model["Command3"].tag, "2");
}

TEST(OptionGroups, OneSelectedPerFrame) {
    WindowModel model;
    model.set_checked("R_p485", true);
    EXPECT_TRUE(model.checked("R_p485"));
    for (const char* name : {"R485", "R_a", "R_f", "R_p"}) EXPECT_FALSE(model.checked(name));
    model.set_checked("r13", true);
    EXPECT_FALSE(model.checked("r11"));
    EXPECT_TRUE(model.checked("r21"));  // the other input's frame is its own group
    EXPECT_TRUE(model.checked("R_p485"));
    // Check boxes are not a group.
    model.set_checked("Check1", true);
    model.set_checked("Check2", true);
    EXPECT_TRUE(model.checked("Check1"));
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

    model.set_text("MsgCom", "");  // already empty
    model.set_enabled("BTNOpenCom", true);
    model.set_checked("R485", true);
    model.set_value("ProgressBar1", 0);
    model.set_color("Pic", 0x00FFFF);
    model.clear_items("CmbNet");  // no entries, none selected
    EXPECT_EQ(heard.take(), Names{});

    model.set_text("MsgCom", "Датчик не отвечает");
    model.set_tooltip("gorizont", "x");
    model.set_visible("Label42", false);
    model.set_value("ProgressBar1", 10);
    model.set_maximum("ProgressBar1", 4096);
    model.set_color("Pic", 0x0000FF);
    model.set_tab(1);
    EXPECT_EQ(heard.take(), (Names{"MsgCom", "gorizont", "Label42", "ProgressBar1", "ProgressBar1",
                                   "Pic", "SSTab1"}));

    model.set_checked("R_a", true);  // R485 loses its mark
    EXPECT_EQ(heard.take(), (Names{"R485", "R_a"}));

    model.set_items("CmbPort", {"ttyUSB0"});
    model.set_items("CmbPort", {"ttyUSB0"});
    model.set_selected("CmbPort", 0);
    model.set_selected("CmbPort", 0);
    model.add_item("CmbNet", "0");
    EXPECT_EQ(heard.take(), (Names{"CmbPort", "CmbPort", "CmbNet"}));

    model.toggle_tags_8_to_129();
    const auto switched = heard.take();
    EXPECT_EQ(std::count(switched.begin(), switched.end(), "SSTab1"), 1);
    EXPECT_EQ(std::count(switched.begin(), switched.end(), "CmbPort"), 0);
    model.enable_tags_135_to_162();
    EXPECT_EQ(heard.take(), Names{});

    model.set_timer_enabled("Timer1", true);
    model.set_timer_enabled("Timer1", true);
    EXPECT_EQ(heard.take(), Names{"Timer1"});
}

}  // namespace
}  // namespace velkon
