// The window's profile buttons through the model, with scripted file boxes: saving, loading all
// or nothing, the copy of the last write, and a round trip with the simulated unit.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <nlohmann/json.hpp>

#include "files/file_error.h"
#include "support/form_fixture.h"
#include "support/sim_window.h"
#include "tracker/answers.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using tracker_test::file_content;

const ControlName kRecordTexts[] = {ctl::apn,    ctl::gsm_user, ctl::gdm_pwd,
                                    ctl::pincod, ctl::ip_serv,  ctl::port_serv,
                                    ctl::id_dev, ctl::pwd_serv, ctl::time_otpr};
const ControlName kRecordChecks[] = {ctl::r11,    ctl::r12,    ctl::r13,      ctl::r21,
                                     ctl::r22,    ctl::r23,    ctl::Check1,   ctl::Check2,
                                     ctl::Check3, ctl::Check4, ctl::Check5,   ctl::Check6,
                                     ctl::Check7, ctl::Check8, ctl::EGTS_prot};

// Every control of the record as "name=value", to see what changed.
std::map<ControlName, std::string> record_controls(const WindowModel& m) {
    std::map<ControlName, std::string> out;
    for (ControlName c : kRecordTexts) out[c] = m.text(c);
    for (int n = 1; n <= 8; ++n)
        out[ctl::channel_address[n - 1]] = m.text(ctl::channel_address[n - 1]);
    for (ControlName c : kRecordChecks) out[c] = m.checked(c) ? "1" : "0";
    out[ctl::vPo] = m.text(ctl::vPo);
    return out;
}

void fill_record(WindowModel& m) {
    m.set_text(ctl::apn, "m2m.пример");
    m.set_text(ctl::gsm_user, "Пётр");
    m.set_text(ctl::gdm_pwd, "секрет");
    m.set_text(ctl::pincod, "1234");
    m.set_text(ctl::ip_serv, "сервер.рф");
    m.set_text(ctl::port_serv, "8080");
    m.set_text(ctl::id_dev, "77");
    m.set_text(ctl::pwd_serv, "не трогай");
    m.set_text(ctl::time_otpr, "300");
    m.set_checked(ctl::r13, true);
    m.set_checked(ctl::r22, true);
    m.set_checked(ctl::EGTS_prot, true);
    for (int n = 1; n <= 8; ++n) {
        m.set_checked(ctl::channel_check[n - 1], n % 3 == 0);
        m.set_text(ctl::channel_address[n - 1], std::to_string(200 - n));
    }
}

void scramble(WindowModel& m) {
    for (ControlName c : kRecordTexts) m.set_text(c, "?");
    for (int n = 1; n <= 8; ++n) {
        m.set_text(ctl::channel_address[n - 1], "0");
        m.set_checked(ctl::channel_check[n - 1], true);
    }
    m.set_checked(ctl::r11, true);
    m.set_checked(ctl::r21, true);
    m.set_checked(ctl::EGTS_prot, false);
}

struct ProfileWindow : testing::FormFixture {
    ProfileWindow() { app.start(); }
    std::filesystem::path profiles() const { return folder.path() / "profiles"; }
};

TEST(ProfileButtons, SaveWritesWhatThePagesShowToTheChosenFile) {
    ProfileWindow f;
    fill_record(f.model);
    f.model.set_text(ctl::vPo, "43");
    f.dialogs.files.push_back(f.profiles() / "truck");  // no extension typed
    ASSERT_TRUE(f.app.fire(ctl::save_prof));

    ASSERT_EQ(f.dialogs.files_asked.size(), 1u);
    EXPECT_TRUE(f.dialogs.files_asked[0].saving);
    // Named in Unicode: through the ANSI code page on Windows the suggestion came out garbled.
    EXPECT_EQ(f.dialogs.files_asked[0].start.parent_path(), f.profiles());
    EXPECT_EQ(path_text(f.dialogs.files_asked[0].start.filename()), "профиль.json");
    EXPECT_TRUE(std::filesystem::is_directory(f.profiles()));
    const auto text = file_content(f.profiles() / "truck.json");
    ASSERT_TRUE(text);
    const auto json = nlohmann::json::parse(*text);
    EXPECT_EQ(json["format"], "velkon-profile/1");
    EXPECT_EQ(json["gsm_user"], "Пётр");
    EXPECT_EQ(json["server"], "сервер.рф");
    EXPECT_EQ(json["period"], 300);
    EXPECT_EQ(json["input1_mode"], 3);
    EXPECT_EQ(json["input2_mode"], 2);
    EXPECT_EQ(json["channels"][2], nlohmann::json({{"enabled", true}, {"address", 197}}));
    EXPECT_EQ(json["firmware_version"], 43);
    EXPECT_FALSE(json.contains("serial_number"));  // nothing read: the label shows dashes
    EXPECT_EQ(f.model.text(ctl::MsgCom), "Профиль сохранён");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST(ProfileButtons, SaveRefusesWhatSetWouldRefuseBeforeAnyFileBox) {
    ProfileWindow f;
    f.model.set_text(ctl::time_otpr, "9");
    f.app.fire(ctl::save_prof);
    EXPECT_TRUE(f.dialogs.files_asked.empty());
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_NE(f.dialogs.messages[0].text.find("Значения периода отправки могут быть от 10 до 1000"),
              std::string::npos);
}

TEST(ProfileButtons, SaveRefusesValuesOfTheWrongKind) {
    const struct {
        ControlName control;
        const char* typed;
        const char* said;
    } cases[] = {
        {ctl::port_serv, "abc", "порта сервера"},
        {ctl::port_serv, "123456", "порта сервера"},
        {ctl::ip_serv, "not a host!", "«Адрес сервера»"},
        {ctl::pincod, "12ab", "только цифры"},
        {ctl::apn, "inter\tnet", "управляющий символ"},
        {ctl::id_dev, "{IMEI:10}", "«{IMEI:10}»"},
    };
    for (const auto& c : cases) {
        ProfileWindow f;
        f.model.set_text(c.control, c.typed);
        f.app.fire(ctl::save_prof);
        EXPECT_TRUE(f.dialogs.files_asked.empty()) << c.typed;
        ASSERT_EQ(f.dialogs.messages.size(), 1u) << c.typed;
        EXPECT_NE(f.dialogs.messages[0].text.find(c.said), std::string::npos)
            << f.dialogs.messages[0].text;
    }
}

// A fleet's profile in the window: its placeholders go to the unit filled from what the window
// knows of it, or not at all.
TEST(ProfileButtons, AFleetProfileIsFilledForTheOpenUnit) {
    const struct {
        const char* device_id;
        bool imei_read;
        const char* written;  // nullptr: refused
        const char* said;
    } cases[] = {
        {"{imei:10}", true, "8035643809", ""},
        {"{port}", false, "ttyUSB0", ""},
        {"{imei:10}", false, nullptr, "IMEI трекера не прочитан"},
        // The serial number shown is from no read on this link: it may be another unit's.
        {"{serial}", true, nullptr, "серийный номер трекера не прочитан"},
    };
    for (const auto& c : cases) {
        ProfileWindow f;
        fill_record(f.model);
        f.model.set_text(ctl::id_dev, c.device_id);
        f.dialogs.files.push_back(f.profiles() / "fleet.json");
        f.app.fire(ctl::save_prof);
        scramble(f.model);
        f.model.set_text(ctl::sern, "100500");
        f.open_link();
        f.model.set_text(ctl::imei, c.imei_read ? "356938035643809" : "NOT READ");
        f.dialogs.files.push_back(f.profiles() / "fleet.json");
        f.app.fire(ctl::load_prof);
        ASSERT_EQ(f.model.text(ctl::id_dev), c.device_id);
        f.dialogs.answers = {true};  // write without reading the unit's configuration
        f.app.fire(ctl::setdata);
        if (c.written) {
            ASSERT_EQ(f.vars().wrs.size(), 169u) << c.device_id;
            EXPECT_EQ(f.vars().wrs.substr(110, 10).c_str(), std::string(c.written));
            EXPECT_EQ(f.dialogs.messages.size(), 0u) << f.dialogs.messages[0].text;
        } else {
            EXPECT_TRUE(f.vars().wrs.empty());
            ASSERT_EQ(f.dialogs.messages.size(), 1u) << c.device_id;
            EXPECT_NE(f.dialogs.messages[0].text.find(c.said), std::string::npos)
                << f.dialogs.messages[0].text;
            EXPECT_NE(f.dialogs.messages[0].text.find("«Идентификатор устройства»"),
                      std::string::npos);
        }
    }
}

TEST(ProfileButtons, LoadFillsTheFieldsAndKeepsTheUnitsVersion) {
    ProfileWindow f;
    fill_record(f.model);
    const auto filled = record_controls(f.model);
    f.dialogs.files.push_back(f.profiles() / "a.json");
    f.app.fire(ctl::save_prof);

    scramble(f.model);
    f.model.set_text(ctl::vPo, "51");
    f.dialogs.files.push_back(f.profiles() / "a.json");
    f.app.fire(ctl::load_prof);
    EXPECT_FALSE(f.dialogs.files_asked.back().saving);
    EXPECT_EQ(f.dialogs.files_asked.back().start, f.profiles());
    auto expected = filled;
    expected[ctl::vPo] = "51";
    EXPECT_EQ(record_controls(f.model), expected);
    EXPECT_EQ(f.model.text(ctl::MsgCom), "Профиль загружен");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST(ProfileButtons, ABadProfileChangesNothingAndSaysWhich) {
    ProfileWindow f;
    fill_record(f.model);
    f.dialogs.files.push_back(f.profiles() / "a.json");
    f.app.fire(ctl::save_prof);
    auto text = *file_content(f.profiles() / "a.json");
    text.replace(text.find("\"period\": 300"), 13, "\"period\": 3000");
    const auto bad = f.profiles() / "bad.json";
    std::ofstream(bad) << text;

    scramble(f.model);
    const auto before = record_controls(f.model);
    f.dialogs.files.push_back(bad);
    f.app.fire(ctl::load_prof);
    EXPECT_EQ(record_controls(f.model), before);
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    const std::string& said = f.dialogs.messages[0].text;
    EXPECT_NE(said.find("bad.json"), std::string::npos) << said;
    EXPECT_NE(said.find("«period»"), std::string::npos) << said;
    EXPECT_NE(said.find("от 10 до 1000"), std::string::npos) << said;
    EXPECT_EQ(f.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
}

TEST(ProfileButtons, CancelledBoxesDoNothing) {
    ProfileWindow f;
    const auto before = record_controls(f.model);
    f.dialogs.files = {"", ""};
    f.app.fire(ctl::save_prof);
    f.app.fire(ctl::load_prof);
    EXPECT_EQ(record_controls(f.model), before);
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_TRUE(std::filesystem::is_empty(f.profiles()));
}

TEST(ProfileButtons, LoadsTheCopyOfTheLastWrite) {
    ProfileWindow f;
    testing::take_fields_as_read(f.app);
    fill_record(f.model);
    const auto filled = record_controls(f.model);
    f.app.fire(ctl::setdata);
    testing::acknowledge_write(f.app);  // keeps 123.cfg in the program folder
    scramble(f.model);
    f.dialogs.files.push_back(f.folder.path() / "123.cfg");
    f.app.fire(ctl::load_prof);
    EXPECT_EQ(record_controls(f.model), filled);
    EXPECT_TRUE(f.dialogs.messages.empty());
}

// The unit's record read, saved, loaded into a scrambled window, written and read back equal.
TEST(ProfileButtons, RoundTripWithTheUnit) {
    testing::SimWindow rig;
    rig.server.with_device([](sim::Device& d) {
        d.tracker().config.gsm_user = "\xCF\xB8\xF2\xF0";  // "Пётр" in the unit's code page
        d.tracker().config.server_password = "\xEA\xEB\xFE\xF7";  // "ключ"
        return 0;
    });
    ASSERT_TRUE(rig.open()) << rig.server.error();
    WindowModel& m = rig.model;
    std::uint64_t sent = 0;
    auto tick = [&] {
        rig.app.exchange().start_tick();
        ASSERT_TRUE(rig.server.wait_requests(++sent, 5s));
    };
    m.set_tab(2);
    tick();  // sends the read
    tick();  // shows it
    ASSERT_EQ(m.text(ctl::MsgCom), "Чтение");
    ASSERT_EQ(m.text(ctl::gsm_user), "Пётр");
    const auto read = record_controls(m);
    const sim::TrackerConfig unit_before =
        rig.server.with_device([](sim::Device& d) { return d.tracker().config; });

    const auto file = rig.folder.path() / "profiles" / "unit.json";
    rig.dialogs.files.push_back(file);
    rig.app.fire(ctl::save_prof);
    ASSERT_TRUE(std::filesystem::exists(file));
    // Another unit's values in the window, then the profile.
    rig.server.with_device([](sim::Device& d) {
        d.tracker().config = sim::TrackerConfig{};
        return 0;
    });
    scramble(m);
    rig.dialogs.files.push_back(file);
    rig.app.fire(ctl::load_prof);
    EXPECT_EQ(record_controls(m), read);

    rig.app.fire(ctl::setdata);
    tick();  // sends the write
    tick();  // its acknowledgement
    EXPECT_EQ(m.text(ctl::MsgCom), "Конфига вроде записана");
    EXPECT_EQ(rig.server.with_device([](sim::Device& d) { return d.tracker().config; }),
              unit_before);
    scramble(m);
    rig.dialogs.answers = {true};  // the scrambled fields are unwritten changes
    rig.app.fire(ctl::readdata);
    tick();
    tick();
    EXPECT_EQ(record_controls(m), read);
    EXPECT_EQ(rig.dialogs.questions.size(), 1u);
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

}  // namespace
}  // namespace velkon
