// The window as designed: every control's kind, parent, page, tag, initial state, text and tool
// tip, the positions and fonts the window fixes, and the frame caption colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "model/window_model.h"

namespace velkon {
namespace {

using K = ControlKind;

enum class State { On, Off, OnHidden, OffHidden };

constexpr const char* kAny = "*";  // not fixed by the window's design

struct Expected {
    ControlName name;
    K kind;
    std::string parent;  // "" for the window, kAny when not fixed
    int page;            // page of the tab control, -1 for none
    std::string tag;     // as after start-up, which tags every untagged control "2"
    State state;
    std::string text;  // kAny when not fixed
    std::string tooltip = "";
};

void PrintTo(const Expected& e, std::ostream* os) {
    *os << e.name;
}

const char* const kNoData = "нет данных";

// Rows that matter beyond their place: the groups the link and the firmware version switch, the
// texts commands compare against (the lower-case "нет данных" of `tek`), hidden controls that
// stay hidden, and the tool tips users read.
std::vector<Expected> spot_rows() {
    return {
        {ctl::Frame2, K::Frame, "", -1, "2", State::On, "Связь"},
        {ctl::CmbPort, K::ComboBox, "Frame2", -1, "7", State::On, "COM1:"},
        {ctl::BTNOpenCom, K::Button, "Frame2", -1, "2", State::On, "Открыть порт"},
        {ctl::BTNCloseCom, K::Button, "Frame2", -1, "9", State::Off, "Закрыть порт"},
        {ctl::Chg_pass, K::Button, "", -1, "9", State::Off, "Изменить пароль",
         "Ведение пароля на изменение конфигурации"},
        {ctl::MsgCom, K::Label, "", -1, "8", State::Off, ""},
        {ctl::SSTab1, K::TabControl, "", -1, "9", State::Off, ""},
        {ctl::ProgressBar1, K::ProgressBar, "SSTab1", 0, "2", State::On, ""},
        {ctl::uroven, K::Label, "Frame5", 0, "9", State::Off, kNoData},
        {ctl::tek, K::Label, "Frame5", 0, "9", State::Off, kNoData},
        {ctl::k, K::Label, kAny, 0, "2", State::OnHidden, "K"},
        {ctl::D_4096, K::CheckBox, "Frame15", 0, "163", State::Off, ""},
        {ctl::hig, K::Button, "SSTab1", 0, "9", State::Off, "Установить полный",
         "Калибровка датчика"},
        {ctl::low, K::Button, "SSTab1", 0, "9", State::Off, "Установить пустой",
         "Калибровка датчика"},
        {ctl::bp_on, K::Button, "SSTab1", 0, "9", State::Off, "Двигатель ЗАВЕДЕН",
         "Калибровка зажигания"},
        {ctl::tarirovka, K::Button, "SSTab1", 0, "9", State::Off, "Тарировка…",
         "Тарировка бака по показаниям датчика"},
        {ctl::time_otpr, K::TextBox, "SSTab1", 1, "8", State::Off, "60", "от 15 до 1000 сек"},
        {ctl::Command3, K::Button, "SSTab1", 1, "2", State::On, "Установить"},
        {ctl::EGTS_prot, K::CheckBox, "Frame10", 2, "8", State::Off, ""},
        {ctl::imei, K::Label, "SSTab1", 2, "8", State::Off, "NOT READ"},
        {ctl::setdata, K::Button, "SSTab1", 2, "8", State::Off, "Установить"},
        {ctl::rd_imei, K::Button, "SSTab1", 2, "8", State::Off, "Читать SIM"},
        // Profiles: they need no link.
        {ctl::save_prof, K::Button, "SSTab1", 2, "2", State::On, "Сохранить профиль…"},
        {ctl::load_prof, K::Button, "SSTab1", 2, "2", State::On, "Загрузить профиль…"},
        {ctl::CmbNet, K::ComboBox, kAny, -1, "9", State::OffHidden, "0"},
        {ctl::Opros, K::Button, kAny, -1, "9", State::OffHidden, "Опрос сети"},
        {ctl::txtRec, K::TextBox, "Frame1", -1, "9", State::Off, ""},  // its frame hides it
        {ctl::Label1, K::Label, "Frame1", -1, "2", State::On, "Text Returned:"},
        {ctl::sdv_hi, K::Button, "Frame6", -1, "163", State::Off, "Сдвиг"},
        {ctl::gen_up, K::Button, "Frame6", -1, "2", State::On, "сгенерировать"},
        {ctl::R_a, K::OptionButton, "modes", -1, "130", State::Off, ""},
        {ctl::R_p, K::OptionButton, "modes", -1, "131", State::Off, ""},
        {ctl::R_p485, K::OptionButton, "modes", -1, "163", State::Off, ""},
        {ctl::InstSN, K::Button, kAny, -1, "9", State::OffHidden, "&Serial num"},
        {ctl::ZapFile, K::Button, kAny, -1, "2", State::OnHidden, "Записать CFG"},
        {ctl::Faail, K::CheckBox, kAny, -1, "2", State::OnHidden, "Файл"},
    };
}

class ControlRow : public ::testing::TestWithParam<Expected> {
  protected:
    static void SetUpTestSuite() {
        model_ = new WindowModel();
        model_->tag_untagged("2");  // what start-up does before the window is shown
    }
    static void TearDownTestSuite() {
        delete model_;
        model_ = nullptr;
    }
    static WindowModel* model_;
};
WindowModel* ControlRow::model_ = nullptr;

TEST_P(ControlRow, IsAsDesigned) {
    const Expected& e = GetParam();
    const auto index = model_->find(e.name.text());
    ASSERT_TRUE(index.has_value()) << e.name << " is missing";
    const Control& c = model_->at(*index);
    EXPECT_EQ(c.kind, e.kind);
    if (e.parent != kAny) {
        EXPECT_EQ(c.parent, e.parent);
        EXPECT_EQ(c.page, e.page);
    }
    EXPECT_EQ(c.tag, e.tag);
    EXPECT_EQ(c.enabled, e.state == State::On || e.state == State::OnHidden);
    EXPECT_EQ(c.visible, e.state == State::On || e.state == State::Off);
    if (e.text != kAny) {
        EXPECT_EQ(c.text, e.text);
    }
    EXPECT_EQ(c.tooltip, e.tooltip);
}

std::string row_name(const ::testing::TestParamInfo<Expected>& info) {
    const std::string name = info.param.name.str();
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](unsigned char ch) { return std::isalnum(ch) || ch == '_'; });
    return ascii ? name : "row" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Window, ControlRow, ::testing::ValuesIn(spot_rows()), row_name);

// The compile-checked identifiers name exactly the controls of the table, in its order.
TEST(ControlsTable, TheIdentifiersAreTheTablesNames) {
    const WindowModel model;
    ASSERT_EQ(std::size(ctl::all), model.controls().size());
    for (std::size_t i = 0; i < std::size(ctl::all); ++i) {
        EXPECT_EQ(model.controls()[i].name, ctl::all[i]) << "row " << i;
    }
}

// What holds for every control: one name each, a parent that exists and can hold children, the
// page of its parent, and a place inside the window or hidden.
TEST(ControlsTable, EveryControlHasOneNameAndAParentThatHoldsIt) {
    const WindowModel model;
    std::set<std::string> names;
    for (const Control& c : model.controls()) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name << " twice";
        EXPECT_GE(c.page, -1) << c.name;
        EXPECT_LE(c.page, 2) << c.name;
        if (c.parent.empty()) {
            EXPECT_EQ(c.page, -1) << c.name;
            continue;
        }
        const auto parent = model.find(c.parent);
        ASSERT_TRUE(parent) << c.name << ": no parent " << c.parent;
        const Control& p = model.at(*parent);
        EXPECT_TRUE(p.kind == K::Frame || p.kind == K::TabControl) << c.name;
        if (p.kind == K::Frame) {
            EXPECT_EQ(c.page, p.page) << c.name << " and its frame " << p.name;
        } else {
            EXPECT_NE(c.page, -1) << c.name << " lies on the tab control but on no page";
        }
    }
}

TEST(ControlsTable, WhatTheFrontEndsMustKnowIsData) {
    const WindowModel model;
    for (const Control& c : model.controls()) {
        EXPECT_EQ(c.kind == K::Timer, c.interval_ms > 0) << c.name;
        if (c.editable) {
            EXPECT_EQ(c.kind, K::ComboBox) << c.name;
        }
        if (c.max_bytes > 0) {
            EXPECT_EQ(c.kind, K::TextBox) << c.name;
        }
    }
    EXPECT_TRUE(model[ctl::CmbNet].editable);
    EXPECT_FALSE(model[ctl::CmbPort].editable);
}

TEST(ControlsTable, TheServerDefaultsAreWellFormed) {
    const WindowModel model;
    EXPECT_FALSE(model.text(ctl::apn).empty());
    EXPECT_FALSE(model.text(ctl::gsm_user).empty());
    EXPECT_EQ(model.text(ctl::gsm_user), model.text(ctl::gdm_pwd));  // the operator's name, twice
    // A dotted quad: four numbers 0..255 and nothing else.
    const std::string& ip = model.text(ctl::ip_serv);
    unsigned part[4] = {};
    int used = 0;
    const int fields =
        std::sscanf(ip.c_str(), "%3u.%3u.%3u.%3u%n", &part[0], &part[1], &part[2], &part[3], &used);
    EXPECT_EQ(fields, 4) << ip;
    EXPECT_EQ(used, static_cast<int>(ip.size())) << ip;
    for (unsigned p : part) EXPECT_LE(p, 255u) << ip;
}

TEST(ControlsTable, TheTimersStartStoppedWithTheirIntervals) {
    const WindowModel model;
    EXPECT_EQ(model[ctl::Timer1].kind, K::Timer);
    EXPECT_EQ(model[ctl::Timer1].interval_ms, 100);
    EXPECT_FALSE(model.timer_enabled(ctl::Timer1));
    EXPECT_EQ(model[ctl::TMRComm].interval_ms, 500);
    EXPECT_FALSE(model.timer_enabled(ctl::TMRComm));
}

TEST(ControlsTable, TheTabControlShowsThreePagesTheFirstSelected) {
    const WindowModel model;
    EXPECT_EQ(model.items(ctl::SSTab1), (std::vector<std::string>{"Датчик", "Трекер", "Сервер"}));
    EXPECT_EQ(model.tab(), 0);
    const Control& bar = model[ctl::ProgressBar1];
    EXPECT_EQ(bar.value, 0);
    EXPECT_EQ(bar.maximum, 1024);
    EXPECT_EQ(model[ctl::Pic].color, 0x00FFFFu);  // yellow, 0x00BBGGRR
}

TEST(ControlsTable, EachOptionGroupStartsWithItsFirstButtonSelected) {
    const WindowModel model;
    for (ControlName name : {ctl::R485, ctl::r11, ctl::r21})
        EXPECT_TRUE(model.checked(name)) << name;
    for (ControlName name :
         {ctl::R_a, ctl::R_f, ctl::R_p, ctl::R_p485, ctl::r12, ctl::r13, ctl::r22, ctl::r23})
        EXPECT_FALSE(model.checked(name)) << name;
    for (ControlName name :
         {ctl::usredn, ctl::D_4096, ctl::iinv, ctl::EGTS_prot, ctl::Check1, ctl::Check8})
        EXPECT_FALSE(model.checked(name)) << name;
}

// Every tag is a whole number (or empty until start-up), and every control of the connection
// and version groups starts disabled.
TEST(ControlsTable, TagsAreNumbersAndTheSwitchedGroupsStartDisabled) {
    const WindowModel model;
    for (const Control& c : model.controls()) {
        int tag = 0;
        if (c.tag.empty()) continue;
        const auto [end, ec] = std::from_chars(c.tag.data(), c.tag.data() + c.tag.size(), tag);
        ASSERT_TRUE(ec == std::errc() && end == c.tag.data() + c.tag.size()) << c.name;
        if (tag > 7) {
            EXPECT_FALSE(c.enabled) << c.name;
        }
    }
}

struct Place {
    ControlName name;
    Rect rect;  // width and height 0 where the design fixes only the position
};

TEST(ControlsTable, ControlsStandWhereTheWindowPutsThem) {
    const std::vector<Place> places = {
        {ctl::Frame2, {240, 360, 1755, 2175}},
        {ctl::Chg_pass, {1080, 3720}},
        {ctl::Vvod_PWD, {1080, 4440}},
        {ctl::Label31, {360, 2760}},
        {ctl::sern, {1320, 2760}},
        {ctl::Label32, {360, 3120}},
        {ctl::vPo, {1320, 3120}},
        {ctl::Pic, {240, 3600, 675, 495}},
        {ctl::MsgCom, {240, 5040, 4215, 495}},
        {ctl::SSTab1, {2400, 120, 7095, 4815}},
        {ctl::ProgressBar1, {240, 600, 375, 3975}},
        {ctl::Frame5, {960, 480, 2535, 1095}},
        {ctl::Frame4, {960, 1800, 2535, 1095}},
        {ctl::Frame15, {840, 3120, 4095, 1335}},
        {ctl::Frame3, {4200, 3480}},
        {ctl::hig, {3840, 840, 1095, 615}},
        {ctl::low, {3840, 2160}},
        {ctl::bp_off, {5640, 600, 1095, 615}},
        {ctl::bp_on, {5640, 1440}},
        {ctl::gorizont, {5640, 2520}},
        {ctl::Frame14, {480, 840, 2295, 2175}},
        {ctl::Frame13, {4080, 600, 2655, 3615}},
        {ctl::Label13, {360, 3360, 2175, 375}},
        {ctl::time_otpr, {2640, 3360, 615, 405}},
        {ctl::Command3, {2400, 4200, 1215, 495}},
        {ctl::Frame9, {600, 360, 4815, 1695}},
        {ctl::Frame10, {600, 2160, 4815, 1815}},
        {ctl::readdata, {5760, 720, 975, 615}},
        {ctl::setdata, {5640, 1560, 1215, 615}},
        {ctl::rd_imei, {480, 4200, 1095, 495}},
        {ctl::CmbNet, {4320, 600}},
        {ctl::Frame1, {240, 6000, 5835, 2415}},
        {ctl::Frame8, {13440, 4200}},
        {ctl::modes, {9000, 7200}},
        {ctl::cfg_file, {14640, 3120}},
    };
    const WindowModel model;
    auto check = [&](ControlName name, const Rect& r) {
        const Rect& got = model[name].rect;
        EXPECT_EQ(got.left, r.left) << name;
        EXPECT_EQ(got.top, r.top) << name;
        if (r.width) {
            EXPECT_EQ(got.width, r.width) << name;
        }
        if (r.height) {
            EXPECT_EQ(got.height, r.height) << name;
        }
    };
    for (const Place& p : places) check(p.name, p.rect);
    // The channel rows lie 360 apart from 600 on: box, address, row head, data.
    for (int n = 1; n <= 8; ++n) {
        const int top = 600 + (n - 1) * 360;
        const std::string k = std::to_string(n);
        check(ctl::channel_check[n - 1], {240, top});
        check(ControlName("Label" + std::to_string(19 + n)), {1200, top});
        check(ctl::channel_level[n - 1], {1920, top});
        EXPECT_EQ(model[ctl::channel_address[n - 1]].rect.left, 600);
    }
}

TEST(ControlsTable, FontsAreTheDesignedSizesAndWeights) {
    const WindowModel model;
    auto expect_font = [&](ControlName name, double points, bool bold) {
        EXPECT_EQ(model[name].font.points, points) << name;
        EXPECT_EQ(model[name].font.bold, bold) << name;
    };
    for (ControlName name :
         {ctl::Frame13, ctl::Frame14, ctl::Frame9, ctl::Frame10, ctl::Frame11, ctl::Frame12,
          ctl::Frame6, ctl::Frame7, ctl::Label13, ctl::lable44, ctl::Label43, ctl::imei, ctl::nsim,
          ctl::sern, ctl::vPo, ctl::Opros, ctl::gen_txt})
        expect_font(name, 8.25, true);
    for (ControlName name : ctl::channel_level) expect_font(name, 8.25, true);
    for (ControlName name : {ctl::uroven, ctl::temp, ctl::tek, ctl::sputn, ctl::vv, ctl::Label5})
        expect_font(name, 9.75, true);
    expect_font(ctl::sn, 12, true);
    expect_font(ctl::MsgCom, 13.5, true);
    for (ControlName name :
         {ctl::Frame2, ctl::Frame5, ctl::BTNOpenCom, ctl::ur, ctl::hi, ctl::apn, ctl::Label7})
        expect_font(name, 8.25, false);
}

TEST(ControlsTable, FrameCaptionColours) {
    const WindowModel model;
    const struct {
        ControlName frame;
        std::uint32_t bgr;
    } colours[] = {
        {ctl::Frame2, 0xC00000},        {ctl::Frame1, 0xC00000},
        {ctl::Frame9, 0x800000},        {ctl::Frame10, 0x008000},
        {ctl::Frame5, kHighlightColor}, {ctl::Frame4, kHighlightColor},
        {ctl::Frame3, kHighlightColor}, {ctl::Frame8, kHighlightColor},
        {ctl::Frame15, kDefaultColor},  {ctl::Frame13, kDefaultColor},
        {ctl::Frame14, kDefaultColor},  {ctl::modes, kDefaultColor},
    };
    for (const auto& c : colours) EXPECT_EQ(model[c.frame].color, c.bgr) << c.frame;
}

}  // namespace
}  // namespace velkon
