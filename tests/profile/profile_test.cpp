// Profile files: the record to a profile and back, every class of bad profile refused with its
// key named, the copy of a written frame, and files written whole.
#include "profile/profile.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "files/file_error.h"
#include "support/form_fixture.h"
#include "support/test_support.h"
#include "tracker/answers.h"
#include "tracker/record.h"

namespace velkon {
namespace {

using Json = nlohmann::ordered_json;
using tracker_test::file_content;

std::size_t row(ControlName control) {
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].control == control) return i;
    }
    ADD_FAILURE() << "no row " << control;
    return 0;
}

// A record as the window would hold it, Cyrillic included, with what a read showed.
TrackerConfig sample_config() {
    TrackerConfig c;
    auto set = [&](ControlName control, FieldValue v) { c.values[row(control)] = v; };
    set(ctl::apn, std::string("m2m.пример"));
    set(ctl::gsm_user, std::string("Пётр"));
    set(ctl::gdm_pwd, std::string("пароль"));
    set(ctl::pincod, std::string("1234"));
    set(ctl::ip_serv, std::string("203.0.113.10"));
    set(ctl::port_serv, std::string("20332"));
    set(ctl::id_dev, std::string("0000012345"));
    set(ctl::pwd_serv, std::string("не трогай"));
    set(ctl::time_otpr, std::string("120"));
    set(ctl::Frame11, std::uint32_t{2});
    set(ctl::Frame12, std::uint32_t{3});
    set(ctl::EGTS_prot, std::uint32_t{1});
    for (int n = 1; n <= 8; ++n) {
        set(ctl::channel_check[n - 1], std::uint32_t(n % 2));
        set(ctl::channel_address[n - 1], std::to_string(n * 20));
    }
    set(ctl::vPo, std::string("43"));
    set(ctl::sern, std::string("100500"));
    return c;
}

Json sample_json() {
    return Json::parse(profile_text(sample_config()));
}

TEST(Profile, SavesEveryKeyAndLoadsBackTheSameRecord) {
    const TrackerConfig config = sample_config();
    const std::string text = profile_text(config);
    const Json json = Json::parse(text);
    EXPECT_EQ(json["format"], "velkon-profile/1");
    EXPECT_EQ(json["apn"], "m2m.пример");
    EXPECT_EQ(json["gsm_user"], "Пётр");
    EXPECT_EQ(json["access_password"], "не трогай");
    EXPECT_EQ(json["period"], 120);
    EXPECT_EQ(json["input1_mode"], 2);
    EXPECT_EQ(json["egts"], true);
    ASSERT_EQ(json["channels"].size(), 8u);
    EXPECT_EQ(json["channels"][0], Json({{"enabled", true}, {"address", 20}}));
    EXPECT_EQ(json["channels"][7], Json({{"enabled", false}, {"address", 160}}));
    EXPECT_EQ(json["firmware_version"], 43);
    EXPECT_EQ(json["serial_number"], 100500);

    const LoadedProfile loaded = parse_profile(text);
    ASSERT_TRUE(loaded) << loaded.error;
    EXPECT_EQ(loaded.config->values, config.values);
    EXPECT_EQ(encode_config_frame(*loaded.config).frame, encode_config_frame(config).frame);
}

TEST(Profile, NumbersAreSavedAsTheWriteFrameCarriesThem) {
    TrackerConfig config = sample_config();
    config.values[row(ctl::time_otpr)] = std::string(" 60,5 ");  // rounds half to even
    config.values[row(ctl::ad3)] = std::string("7.0");
    config.values[row(ctl::vPo)] = std::string("------------");  // nothing read yet
    const Json json = Json::parse(profile_text(config));
    EXPECT_EQ(json["period"], 60);
    EXPECT_EQ(json["channels"][2]["address"], 7);
    EXPECT_FALSE(json.contains("firmware_version"));
}

struct BadProfile {
    const char* name;
    std::function<void(Json&)> change;  // applied to a good profile
    std::string raw;                    // used instead when not empty
    std::vector<std::string> said;      // parts of the message
};

void PrintTo(const BadProfile& b, std::ostream* os) {
    *os << b.name;
}

class ProfileRefused : public ::testing::TestWithParam<BadProfile> {};

TEST_P(ProfileRefused, NamesTheKeyAndTheProblem) {
    const BadProfile& bad = GetParam();
    std::string text = bad.raw;
    if (text.empty()) {
        Json json = sample_json();
        bad.change(json);
        text = json.dump(2);
    }
    const LoadedProfile loaded = parse_profile_content(text);
    EXPECT_FALSE(loaded);
    for (const std::string& part : bad.said) {
        EXPECT_NE(loaded.error.find(part), std::string::npos)
            << "«" << part << "» not in: " << loaded.error;
    }
}

// A fleet's profile loads with its placeholders as written; each is checked for its form and as
// a stand-in of its length.
TEST(Profile, PlaceholdersOfTheDocumentedFormsLoadAsWritten) {
    Json json = sample_json();
    json["device_id"] = "{imei:10}";
    json["server"] = "{port:4}.example";
    json["server_port"] = "{serial:5}";
    json["access_password"] = "{sim}-{imei}";
    const LoadedProfile loaded = parse_profile(json.dump());
    ASSERT_TRUE(loaded) << loaded.error;
    EXPECT_EQ(profile_text(*loaded.config).find("{imei:10}") != std::string::npos, true);
}

const std::string k31Cyrillic = [] {
    std::string s;
    for (int i = 0; i < 31; ++i) s += "Ж";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Classes, ProfileRefused,
    ::testing::Values(
        // Damaged or not a profile at all.
        BadProfile{"empty", nullptr, " \n", {"пуст"}},
        BadProfile{"cut",
                   nullptr,
                   "{\n  \"format\": \"velkon-profile/1\",\n  \"apn\": ",
                   {"повреждён", "строка 3"}},
        BadProfile{"not_utf8",
                   nullptr,
                   "{\"format\": \"velkon-profile/1\", \"apn\": \"\xC0\xFF\"}",
                   {"повреждён", "UTF-8"}},
        BadProfile{"array", nullptr, "[1, 2]", {"не профиль"}},
        BadProfile{"no_format", [](Json& j) { j.erase("format"); }, "", {"не профиль", "format"}},
        BadProfile{"other_format",
                   [](Json& j) { j["format"] = "velkon-profile/2"; },
                   "",
                   {"«format»", "velkon-profile/2", "не поддерживается"}},
        BadProfile{"duplicate",
                   nullptr,
                   "{\"format\": \"velkon-profile/1\", \"apn\": \"a\", \"apn\": \"b\"}",
                   {"«apn»", "дважды"}},
        // Keys.
        BadProfile{"unknown", [](Json& j) { j["apm"] = "x"; }, "", {"Неизвестный ключ «apm»"}},
        BadProfile{"unknown_in_channel",
                   [](Json& j) { j["channels"][2]["adress"] = 1; },
                   "",
                   {"Неизвестный ключ «channels[2].adress»"}},
        BadProfile{
            "missing", [](Json& j) { j.erase("server_port"); }, "", {"Нет ключа «server_port»"}},
        BadProfile{"missing_in_channel",
                   [](Json& j) { j["channels"][5].erase("enabled"); },
                   "",
                   {"Нет ключа «channels[5].enabled»"}},
        // Types.
        BadProfile{
            "text_as_number", [](Json& j) { j["sim_pin"] = 1234; }, "", {"«sim_pin»", "текст"}},
        BadProfile{
            "period_as_text", [](Json& j) { j["period"] = "60"; }, "", {"«period»", "целое число"}},
        BadProfile{"period_fraction",
                   [](Json& j) { j["period"] = 60.5; },
                   "",
                   {"«period»", "целое число"}},
        BadProfile{
            "flag_as_number", [](Json& j) { j["egts"] = 1; }, "", {"«egts»", "true или false"}},
        BadProfile{"mode_out_of_range",
                   [](Json& j) { j["input2_mode"] = 4; },
                   "",
                   {"«input2_mode»", "1 (сухой контакт)"}},
        BadProfile{"seven_channels",
                   [](Json& j) { j["channels"].erase(7); },
                   "",
                   {"«channels»", "8 каналов", "7"}},
        BadProfile{"channel_not_object",
                   [](Json& j) { j["channels"][0] = 5; },
                   "",
                   {"«channels[0]»", "объект"}},
        BadProfile{"serial_negative",
                   [](Json& j) { j["serial_number"] = -1; },
                   "",
                   {"«serial_number»", "от 0 до 4294967295"}},
        // Values, by the checks of a configuration write.
        BadProfile{
            "text_too_wide", [](Json& j) { j["apn"] = k31Cyrillic; }, "", {"«apn»", "длиннее 30"}},
        BadProfile{
            "foreign_character", [](Json& j) { j["server"] = "сервер✓"; }, "", {"«server»", "✓"}},
        BadProfile{"port_not_a_number",
                   [](Json& j) { j["server_port"] = "abc"; },
                   "",
                   {"«server_port»", "от 1 до 65535"}},
        BadProfile{"port_beyond_16_bits",
                   [](Json& j) { j["server_port"] = "99999"; },
                   "",
                   {"«server_port»", "от 1 до 65535"}},
        BadProfile{"port_empty_with_a_server",
                   [](Json& j) { j["server_port"] = ""; },
                   "",
                   {"«server_port»", "от 1 до 65535"}},
        BadProfile{"port_in_six_digits",
                   [](Json& j) { j["server_port"] = "020332"; },
                   "",
                   {"«server_port»", "не больше 5 цифр"}},
        BadProfile{"server_not_a_host",
                   [](Json& j) { j["server"] = "not a host!"; },
                   "",
                   {"«server»", "IPv4"}},
        BadProfile{"pin_with_letters",
                   [](Json& j) { j["sim_pin"] = "12ab"; },
                   "",
                   {"«sim_pin»", "только цифры"}},
        BadProfile{"control_character",
                   [](Json& j) { j["apn"] = "inter\x01net"; },
                   "",
                   {"«apn»", "управляющий символ (код 1)"}},
        BadProfile{"placeholder_in_capitals",
                   [](Json& j) { j["device_id"] = "{IMEI:10}"; },
                   "",
                   {"«device_id»", "«{IMEI:10}»"}},
        BadProfile{"placeholder_unclosed",
                   [](Json& j) { j["access_password"] = "pw{imei:10"; },
                   "",
                   {"«access_password»", "«{imei:10»"}},
        // Filled with the unit's 15 digits it would be too long; a stand-in of its length says
        // so before any unit is touched.
        BadProfile{"placeholder_wider_than_its_field",
                   [](Json& j) { j["sim_pin"] = "{imei:6}"; },
                   "",
                   {"«sim_pin»", "длиннее 5"}},
        BadProfile{"nul_in_text",
                   [](Json& j) {
                       j["device_id"] = std::string(
                           "12\0"
                           "3",
                           4);
                   },
                   "",
                   {"«device_id»", "нулевой символ"}},
        BadProfile{
            "period_low", [](Json& j) { j["period"] = 9; }, "", {"«period»", "от 10 до 1000"}},
        BadProfile{"period_huge",
                   [](Json& j) { j["period"] = 1000000000000LL; },
                   "",
                   {"«period»", "от 10 до 1000"}},
        BadProfile{"address_high",
                   [](Json& j) { j["channels"][4]["address"] = 201; },
                   "",
                   {"«channels[4].address»", "от 0 до 200"}},
        BadProfile{"address_negative",
                   [](Json& j) { j["channels"][0]["address"] = -1; },
                   "",
                   {"«channels[0].address»", "от 0 до 200"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Profile, WidthsCountCodePageBytesNotUtf8Bytes) {
    Json json = sample_json();
    json["apn"] = k31Cyrillic.substr(0, 30 * 2);  // 30 letters: 60 bytes of UTF-8, 30 on the wire
    const LoadedProfile loaded = parse_profile(json.dump());
    EXPECT_TRUE(loaded) << loaded.error;
}

TEST(ConfigCopy, LoadsTheFrameTheWindowKeeps) {
    const TrackerConfig config = sample_config();
    const Frame frame = encode_config_frame(config).frame;
    ASSERT_EQ(frame.size(), 169u);
    const LoadedProfile loaded = parse_profile_content(frame);
    ASSERT_TRUE(loaded) << loaded.error;
    EXPECT_EQ(encode_config_frame(*loaded.config).frame, frame);
    EXPECT_FALSE(loaded.config->values[row(ctl::vPo)]);  // the frame's tail is no version
    EXPECT_FALSE(loaded.config->values[row(ctl::sern)]);
}

TEST(ConfigCopy, RefusesWhatIsNotAnIntactWriteFrame) {
    const Frame frame = encode_config_frame(sample_config()).frame;
    Frame damaged = frame;
    damaged[10] ^= 0x01;
    Frame other_code = frame;
    other_code[2] = '\xA2';
    EXPECT_NE(parse_config_copy(damaged).error.find("контрольный байт"), std::string::npos);
    EXPECT_NE(parse_config_copy(other_code).error.find("не кадр записи"), std::string::npos);
    EXPECT_NE(parse_config_copy(frame.substr(0, 168)).error.find("168 байт"), std::string::npos);
}

TEST(ProfileFile, ReadFailuresNameTheFileAndTheReason) {
    test::TempDir dir;
    const auto missing = load_profile_file(dir.path() / "none.json");
    EXPECT_NE(missing.error.find("none.json"), std::string::npos) << missing.error;
    EXPECT_NE(missing.error.find("файл не найден"), std::string::npos) << missing.error;
    EXPECT_NE(load_profile_file(dir.path()).error.find("это папка"), std::string::npos);
    const auto big = dir.write_file("big.json", std::string(1024 * 1024 + 1, ' '));
    EXPECT_NE(load_profile_file(big).error.find("больше 1024 КБ"), std::string::npos);
}

// The suggested name is Unicode all the way: through the ANSI code page (Windows) it came out
// garbled.
TEST(ProfileButtons, SuggestsTheProfileNameInUnicode) {
    testing::FormFixture f;
    f.app.start();
    f.dialogs.files.push_back({});  // the box is cancelled
    f.app.fire(ctl::save_prof);
    ASSERT_EQ(f.dialogs.files_asked.size(), 1u);
    EXPECT_EQ(path_text(f.dialogs.files_asked[0].start.filename()), "профиль.json");
}

}  // namespace
}  // namespace velkon
