// The simulated devices through the library: every request the configurator sends, answered in
// the published layouts and decoded here by hand; commands and their effects; malformed requests;
// the tank over time; the configuration write read back; each fault switch.
#include "sim/device.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "sim/sim_test_util.h"

namespace velkon::sim {
namespace {

using namespace simtest;
using std::chrono::milliseconds;

// A device whose values have distinct bytes everywhere, so a swapped byte order or a field at the
// wrong position cannot decode to the right value.
Device distinctive_device() {
    SensorState s;
    s.temperature = -7;
    s.fuel_ppm = 600'000;
    s.empty_value = 20'000;
    s.full_value = 90'000;
    s.coefficient = 0x0102;
    s.mode = 0x19;
    s.serial = 0x0A0B0C0D;
    s.firmware = 0x69;
    s.firmware_lead = 2;

    TrackerState t;
    t.config.apn = "apn.example";
    t.config.pin = "1234";
    t.config.server_password = "secret";
    t.config.period = 0x0203;
    t.config.input1_mode = 2;
    t.config.input2_mode = 3;
    t.config.channel_flags = {0x81, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01};
    t.config.channel_addresses = {10, 20, 30, 40, 50, 60, 70, 200};
    t.firmware = 0x0102;
    t.serial = 0xA1B2C3D4;
    t.imei = "490154203237518";
    t.sim = "89014103211118510720";
    t.live.status = 0x0201;
    t.live.analog1 = 4500;
    t.live.analog2 = 3600;
    t.live.supply = 1234;
    t.live.frequency1 = 0x0201;
    t.live.frequency2 = 7;
    t.live.inputs = 0x02;
    t.live.channels = {0, 0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0xFFFE};
    t.live.gsm = 17;
    t.live.satellites = 11;
    t.live.traffic = 200;
    for (std::size_t i = 0; i < t.live.entries.size(); ++i)
        t.live.entries[i] = static_cast<std::uint8_t>(100 + i);
    return Device(s, t);
}

void expect_frame(const std::string& answer, std::size_t size, std::uint8_t code) {
    ASSERT_EQ(answer.size(), size);
    EXPECT_EQ(at(answer, 1), 0x3E);
    EXPECT_EQ(at(answer, 3), code);
    EXPECT_EQ(check_byte(answer), 0) << "check byte over the whole answer";
}

// --- requests that read: the answer decodes to what the device holds ---------------------------

struct QueryCase {
    const char* name;
    std::string request;
    std::function<void(const Device&, const std::string&)> check;
};

void check_readings(const Device& d, const std::string& a) {
    expect_frame(a, 22, 0xF0);
    const auto& s = d.sensor();
    EXPECT_EQ(at(a, 2), s.address);
    EXPECT_EQ(static_cast<std::int8_t>(at(a, 4)), s.temperature);
    EXPECT_EQ(le(a, 5, 2), s.level());
    EXPECT_EQ(le(a, 7, 4), s.current());
    EXPECT_EQ(le(a, 11, 4), s.empty_value);
    EXPECT_EQ(le(a, 15, 4), s.full_value);
    EXPECT_EQ(le(a, 19, 2), s.coefficient);
    EXPECT_EQ(at(a, 21), s.mode);
    // The tank model itself: 60 % between the probe's 10000 and 100000, placed between the
    // calibration values 20000 and 90000 on the 1023 scale.
    EXPECT_EQ(le(a, 7, 4), 64'000u);
    EXPECT_EQ(le(a, 5, 2), 643u);
    EXPECT_EQ(at(a, 4), 0xF9);
}

void check_version(const Device& d, const std::string& a) {
    expect_frame(a, 10, 0xFC);
    EXPECT_EQ(le(a, 4, 4), d.sensor().serial);
    EXPECT_EQ(at(a, 8), d.sensor().firmware);
    EXPECT_EQ(at(a, 9), d.sensor().firmware_lead);
}

void check_config(const Device& d, const std::string& a) {
    // The record runs to position 171; the check byte follows it.
    expect_frame(a, 172, 0xA2);
    const auto& c = d.tracker().config;
    EXPECT_EQ(at(a, 4), c.format);
    EXPECT_EQ(text(a, 5, 30), c.apn);
    EXPECT_EQ(text(a, 35, 20), c.gsm_user);
    EXPECT_EQ(text(a, 55, 20), c.gsm_password);
    EXPECT_EQ(text(a, 75, 5), c.pin);
    EXPECT_EQ(text(a, 80, 25), c.server);
    EXPECT_EQ(text(a, 105, 6), c.port);
    EXPECT_EQ(text(a, 111, 10), c.device_id);
    EXPECT_EQ(text(a, 121, 25), c.server_password);
    EXPECT_EQ(le(a, 146, 2), c.period);
    EXPECT_EQ(at(a, 148), c.input1_mode);
    EXPECT_EQ(at(a, 149), c.input2_mode);
    for (std::size_t n = 0; n < 8; ++n) {
        EXPECT_EQ(at(a, 150 + n), c.channel_flags[n]) << "channel " << n + 1;
        EXPECT_EQ(at(a, 158 + n), c.channel_addresses[n]) << "channel " << n + 1;
    }
    EXPECT_TRUE(at(a, 150) & 0x80) << "EGTS flag";
    EXPECT_EQ(be(a, 166, 2), d.tracker().firmware);
    EXPECT_EQ(be(a, 168, 4), d.tracker().serial);
}

void check_live(const Device& d, const std::string& a) {
    expect_frame(a, 60, 0xA0);
    const auto& l = d.tracker().live;
    EXPECT_EQ(le(a, 4, 2), l.status);
    EXPECT_EQ(le(a, 6, 2), l.analog1);
    EXPECT_EQ(le(a, 8, 2), l.analog2);
    EXPECT_EQ(le(a, 10, 2), l.supply);
    EXPECT_EQ(le(a, 12, 2), l.frequency1);
    EXPECT_EQ(le(a, 14, 2), l.frequency2);
    EXPECT_EQ(at(a, 16), l.inputs);
    for (std::size_t n = 0; n < 8; ++n)
        EXPECT_EQ(be(a, 17 + 2 * n, 2), l.channels[n]) << "channel " << n + 1;
    EXPECT_EQ(at(a, 33), l.gsm);
    EXPECT_EQ(at(a, 34), l.satellites);
    EXPECT_EQ(at(a, 35), l.traffic);
    for (std::size_t i = 0; i < 24; ++i)
        EXPECT_EQ(at(a, 36 + i), l.entries[i]) << "entry byte " << i;
    // The carried sensor shows on channel 1 and in the level byte.
    EXPECT_EQ(be(a, 17, 2), d.sensor().level());
    EXPECT_EQ(at(a, 37), 30) << "60 % of 50";
}

void check_imei(const Device& d, const std::string& a) {
    expect_frame(a, 40, 0xA7);
    EXPECT_EQ(a.substr(3, 15), d.tracker().imei);
    EXPECT_EQ(a.substr(19, 20), d.tracker().sim);
}

class SimQueries : public ::testing::TestWithParam<QueryCase> {};

TEST_P(SimQueries, AnswerDecodesToTheDeviceState) {
    Device device = distinctive_device();
    const auto answer = device.respond(GetParam().request);
    ASSERT_TRUE(answer.has_value());
    GetParam().check(device, *answer);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SimQueries,
    ::testing::Values(QueryCase{"Readings", bytes("31 01 F0 C5"), check_readings},
                      QueryCase{"ReadingsAddress0", framed("31 00 F0"), check_readings},
                      QueryCase{"NetworkPoll", bytes("31 FF DC"), check_readings},
                      QueryCase{"Version", bytes("31 00 FC A2"), check_version},
                      QueryCase{"ConfigRead", bytes("3E CA A2 00 00 00 00 00 AC"), check_config},
                      QueryCase{"LiveData", bytes("3E CA A0 D6"), check_live},
                      QueryCase{"ImeiSim", bytes("3E CA A7 55"), check_imei}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimSensor, ReadingsWithoutModeByteAreOneByteShorter) {
    Device device = distinctive_device();
    device.sensor().readings_carry_mode = false;
    const auto answer = device.respond(bytes("31 01 F0 C5"));
    ASSERT_TRUE(answer);
    expect_frame(*answer, 21, 0xF0);
    EXPECT_EQ(le(*answer, 19, 2), 0x0102u);
}

// --- commands: the answer and what the device does ---------------------------------------------

struct CommandCase {
    const char* name;
    std::string request;
    std::optional<std::string> answer;
    std::function<void(const Device& before, const Device& after)> effect;
};

class SimCommands : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SimCommands, AnswerAndEffect) {
    Device device = distinctive_device();
    const Device before = device;
    EXPECT_EQ(device.respond(GetParam().request), GetParam().answer);
    GetParam().effect(before, device);
}

const CommandCase kCommands[] = {
    {"CalibrateFull", bytes("31 01 F5 FA"), framed("3E 01 F5"),
     [](const Device&, const Device& d) {
         EXPECT_EQ(d.sensor().full_value, 64'000u);
         EXPECT_EQ(d.sensor().level(), 1023);
     }},
    {"CalibrateEmpty", bytes("31 01 FA BB"), framed("3E 01 FA"),
     [](const Device&, const Device& d) {
         EXPECT_EQ(d.sensor().empty_value, 64'000u);
         EXPECT_EQ(d.sensor().level(), 0);
     }},
    {"Mode", framed("31 01 F2 0A"), framed("3E 01 F2 0A"),
     [](const Device&, const Device& d) {
         EXPECT_EQ(d.sensor().mode, 0x0A);
         EXPECT_EQ(d.sensor().level_scale(), 1023);
     }},
    {"Mode4096", bytes("31 01 F2 88 2A"), framed("3E 01 F2 88"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().level(), 2574); }},
    {"NetworkAddress", bytes("31 00 FB 05 42"), framed("3E 05 FB"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().address, 5); }},
    {"ShiftFull", bytes("31 00 F4 03 E8 24"), framed("3E 01 F4"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().full_value, 91'000u); }},
    {"ShiftEmptyDown", bytes("31 00 F9 FC 18 C1"), framed("3E 01 F9"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().empty_value, 19'000u); }},
    {"ShiftEmptyByOne", bytes("31 00 F9 FF FF FE"), framed("3E 01 F9"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().empty_value, 19'999u); }},
    {"ChangePassword", framed("31 01 F7 77 35 94 00"), framed("3E 01 F7"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().password, 2'000'000'000u); }},
    {"EnterPassword", framed("31 01 F8 00 00 00 00"), framed("3E 01 F8"),
     [](const Device&, const Device& d) { EXPECT_TRUE(d.sensor().unlocked); }},
    {"WrongPassword", framed("31 01 F8 00 00 00 01"), framed("3E 01 FD"),
     [](const Device&, const Device& d) { EXPECT_FALSE(d.sensor().unlocked); }},
    {"SensorSerial", bytes("31 00 A4 00 00 00 2A 58"), framed("3E 01 A4"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().serial, 42u); }},
    {"EngineRunning", bytes("31 01 E3 BA"), std::nullopt,
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().engine_running_value, 64'000u); }},
    {"EngineStopped", bytes("31 01 E5 67"), std::nullopt,
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().engine_stopped_value, 64'000u); }},
    {"Horizon", bytes("31 01 AA 60"), std::nullopt,
     [](const Device&, const Device& d) { EXPECT_EQ(d.sensor().horizon_value, 64'000u); }},
    {"TrackerSerial", bytes("3E CA A4 00 00 03 E8 69"), framed("3E CA A4"),
     [](const Device&, const Device& d) { EXPECT_EQ(d.tracker().serial, 1000u); }},
    {"SetBp", bytes("3E CA A6 00 00 04 AE 1F"), std::nullopt,
     [](const Device&, const Device& d) { EXPECT_EQ(d.tracker().bp_value, 1198u); }},
    {"CommandA5", bytes("3E CA A5 00 00 00 00 00 29"), std::nullopt,
     [](const Device& before, const Device& d) {
         EXPECT_EQ(d.tracker().config, before.tracker().config);
     }},
    {"ModemLog", bytes("3E CA E8 52"), std::string("+CREG: 0,1\r\n+CSQ: 21,0\r\nOK\r\n"),
     [](const Device&, const Device&) {}},
};

INSTANTIATE_TEST_SUITE_P(Requests, SimCommands, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimSensor, NewAddressAnswersThereAndOnZeroButNoLongerOnTheOldOne) {
    Device device;
    ASSERT_TRUE(device.respond(bytes("31 00 FB 05 42")));
    EXPECT_FALSE(device.respond(bytes("31 01 F0 C5")));
    const auto own = device.respond(framed("31 05 F0"));
    ASSERT_TRUE(own);
    EXPECT_EQ(at(*own, 2), 5);
    EXPECT_TRUE(device.respond(framed("31 00 F0")));
    EXPECT_FALSE(device.respond(framed("31 00 FB FF"))) << "the poll address is refused";
}

// With a password set, a configuration command needs the password right before it; requests
// that only read (the configurator polls between its commands) do not use the permission up.
TEST(SimSensor, PasswordGuardsConfigurationCommands) {
    Device device;
    device.sensor().password = 777;
    const std::uint32_t full = device.sensor().full_value;
    const struct {
        std::string request;
        std::uint8_t code;
    } steps[] = {
        {bytes("31 01 F5 FA"), 0xFD},            // locked
        {framed("31 01 F8 00 00 03 0A"), 0xFD},  // 778: wrong
        {framed("31 01 F8 00 00 03 09"), 0xF8},  // 777: accepted
        {bytes("31 01 F0 C5"), 0xF0},            // a poll in between
        {bytes("31 00 FC A2"), 0xFC},
        {bytes("31 01 F5 FA"), 0xF5},  // uses the permission
        {bytes("31 01 FA BB"), 0xFD},  // locked again
        {framed("31 01 F8 00 00 03 09"), 0xF8},
        {framed("31 01 F7 00 00 00 05"), 0xF7},  // new password 5
        {framed("31 01 F8 00 00 03 09"), 0xFD},  // the old one no longer works
        {framed("31 01 F8 00 00 00 05"), 0xF8},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto answer = device.respond(steps[i].request);
        ASSERT_TRUE(answer) << "step " << i;
        EXPECT_EQ(at(*answer, 3), steps[i].code) << "step " << i;
    }
    EXPECT_NE(device.sensor().full_value, full);
    EXPECT_EQ(device.sensor().empty_value, 10'000u) << "the locked command changed nothing";
    EXPECT_EQ(device.sensor().password, 5u);
}

// --- malformed requests: no answer, no effect ---------------------------------------------------

std::string spoiled(std::string frame) {
    frame.back() = static_cast<char>(frame.back() ^ 0x01);
    return frame;
}

class SimMalformed : public ::testing::TestWithParam<std::pair<const char*, std::string>> {};

TEST_P(SimMalformed, NoAnswerNoEffect) {
    Device device = distinctive_device();
    const Device before = device;
    EXPECT_FALSE(device.respond(GetParam().second));
    EXPECT_EQ(device.sensor().mode, before.sensor().mode);
    EXPECT_EQ(device.sensor().address, before.sensor().address);
    EXPECT_EQ(device.tracker().config, before.tracker().config);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SimMalformed,
    ::testing::Values(
        std::pair{"Empty", std::string()}, std::pair{"BadCheckByte", bytes("31 01 F0 C4")},
        std::pair{"BadCheckByteOnCommand", spoiled(framed("31 01 F2 0A"))},
        std::pair{"UnknownPrefix", framed("32 01 F0")},
        std::pair{"UnknownSensorCode", framed("31 01 77")},
        std::pair{"UnknownTrackerCode", framed("3E CA A1")},
        std::pair{"OtherTrackerAddress", framed("3E CB A0")},
        std::pair{"OtherSensor", framed("31 02 F2 0A")},
        std::pair{"DataMissing", framed("31 01 F2")},
        std::pair{"DataTooLong", framed("31 01 F0 00")},
        std::pair{"TruncatedFrame", bytes("31 01")},
        std::pair{"ConfigWriteBadTrailer",
                  Control_summ(bytes("3E CA A3") + std::string(162, '\0') + bytes("A5 36 5C"))}),
    [](const auto& info) { return std::string(info.param.first); });

// --- the configuration write ---------------------------------------------------------------------

// A write frame put together by hand from the record table.
std::string write_frame() {
    std::string f = bytes("3E CA A3 16");
    const auto field = [&f](std::string_view text, std::size_t width) {
        f += text;
        f.append(width - text.size(), '\0');
    };
    field("internet.\xCF\xF0\xE8\xEC\xE5\xF0.example.org", 30);  // CP1251 letters, full width
    field("user", 20);
    field("", 20);
    field("98765", 5);
    field("192.0.2.44", 25);
    field("123456", 6);  // six characters: all of the field
    field("DEV-77", 10);
    field("pass word", 25);
    f += bytes("E8 03");                    // period 1000, low byte first
    f += bytes("02 03");                    // input modes
    f += bytes("81 00 01 01 00 00 00 01");  // channel 1 + EGTS, 3, 4, 8
    f += bytes("00 C8 07 08 09 0A 0B 0C");  // addresses 0, 200, 7..12
    f += bytes("A5 36 5B");
    return Control_summ(f);
}

TEST(SimConfig, WrittenRecordIsReadBack) {
    Device device = distinctive_device();
    const std::string written = write_frame();
    ASSERT_EQ(written.size(), 169u);
    EXPECT_EQ(device.respond(written), framed("3E CA A3"));

    const auto read = device.respond(bytes("3E CA A2 00 00 00 00 00 AC"));
    ASSERT_TRUE(read);
    expect_frame(*read, 172, 0xA2);
    EXPECT_EQ(read->substr(4, 161), written.substr(4, 161)) << "positions 5..165";
    EXPECT_EQ(be(*read, 166, 2), 0x0102u) << "version untouched by the write";
    EXPECT_EQ(be(*read, 168, 4), 0xA1B2C3D4u);

    const auto& c = device.tracker().config;
    EXPECT_EQ(c.apn, "internet.\xCF\xF0\xE8\xEC\xE5\xF0.example.org");
    EXPECT_EQ(c.gsm_password, "");
    EXPECT_EQ(c.port, "123456");
    EXPECT_EQ(c.period, 1000);
    EXPECT_EQ(c.input1_mode, 2);
    EXPECT_TRUE(c.egts());
    EXPECT_TRUE(c.channel_enabled(3));
    EXPECT_FALSE(c.channel_enabled(1));
    EXPECT_EQ(c.channel_addresses[1], 200);
}

// A field too long for its width is cut to it, so the record keeps its layout.
TEST(SimConfig, OverlongTextKeepsTheLayout) {
    Device device;
    device.tracker().config.pin = "1234567";
    const auto read = device.respond(bytes("3E CA A2 00 00 00 00 00 AC"));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), 172u);
    EXPECT_EQ(read->substr(74, 5), "12345");
    EXPECT_EQ(text(*read, 80, 25), device.tracker().config.server);
}

// --- the tank over time -----------------------------------------------------------------------

TEST(SimTank, EmptiesDeterministicallyAndRefills) {
    SensorState s;
    s.fuel_ppm = 500'000;
    s.consumption_ppm_per_s = 1000;
    Device a(s), b(s);
    a.advance(milliseconds(1500));
    for (int i = 0; i < 1500; ++i) b.advance(milliseconds(1));  // fractions add up
    EXPECT_EQ(a.sensor().fuel_ppm, 498'500u);
    EXPECT_EQ(b.sensor().fuel_ppm, 498'500u);
    EXPECT_LT(a.sensor().level(), Device(s).sensor().level());

    a.sensor().fuel_ppm = s.refill_below_ppm + 100;
    a.advance(milliseconds(200));
    EXPECT_EQ(a.sensor().fuel_ppm, s.refill_to_ppm);
    EXPECT_EQ(a.tracker().live.channels[0], a.sensor().level()) << "live data follows";
    EXPECT_EQ(a.tracker().live.entries[1], 48);
}

TEST(SimTank, LevelScaleAndLimits) {
    SensorState s;
    s.fuel_ppm = 500'000;  // current 55000, halfway between the calibration values
    EXPECT_EQ(s.level(), 512);
    s.mode = 0x80;
    EXPECT_EQ(s.level(), 2048);
    s.full_value = 50'000;  // current above the full calibration
    EXPECT_EQ(s.level(), 4095);
    s.empty_value = s.full_value;
    EXPECT_EQ(s.level(), 0);
}

// --- faults ----------------------------------------------------------------------------------

const std::string kReadings = bytes("31 01 F0 C5");

std::string clean_readings() {
    Device device;
    return *device.respond(kReadings);
}

TEST(SimFaults, NoneGivesTheCleanAnswerInOneChunk) {
    Device device;
    const Reply reply = device.answer(kReadings);
    ASSERT_EQ(reply.chunks.size(), 1u);
    EXPECT_EQ(reply.chunks[0], clean_readings());
    EXPECT_EQ(reply.delay, milliseconds(0));
    EXPECT_FALSE(reply.paced);
    EXPECT_FALSE(reply.hang_up);
}

TEST(SimFaults, SilentLosesTheRequestAndItsEffect) {
    Device device;
    device.faults().silent = true;
    const std::string set_mode = framed("31 01 F2 0A");
    EXPECT_TRUE(device.answer(set_mode).empty());
    EXPECT_EQ(device.sensor().mode, 0x08);
    device.faults().silent = false;
    EXPECT_FALSE(device.answer(set_mode).empty());
    EXPECT_EQ(device.sensor().mode, 0x0A);
}

TEST(SimFaults, SilentEveryNth) {
    Device device;
    device.faults().silent_every = 3;
    std::string pattern;
    for (int i = 0; i < 7; ++i) pattern += device.answer(kReadings).empty() ? '-' : 'A';
    EXPECT_EQ(pattern, "AA-AA-A");
}

TEST(SimFaults, WrongCheckByteOnly) {
    Device device;
    device.faults().wrong_check = true;
    const std::string clean = clean_readings();
    const std::string got = device.answer(kReadings).bytes();
    ASSERT_EQ(got.size(), clean.size());
    EXPECT_EQ(got.substr(0, got.size() - 1), clean.substr(0, clean.size() - 1));
    EXPECT_NE(check_byte(got), 0);
}

TEST(SimFaults, UnknownCodeWithValidCheckByte) {
    Device device;
    device.faults().unknown_code = true;
    const std::string got = device.answer(kReadings).bytes();
    EXPECT_EQ(at(got, 3), kUnknownAnswerCode);
    EXPECT_EQ(check_byte(got), 0);
    const std::string clean = clean_readings();
    EXPECT_EQ(got.substr(3, got.size() - 4), clean.substr(3, clean.size() - 4));
}

TEST(SimFaults, ModemTextInsteadOfTheFrame) {
    Device device;
    device.faults().modem_text = true;
    const std::string got = device.answer(kReadings).bytes();
    EXPECT_EQ(got, device.faults().modem_line);
    EXPECT_NE(at(got, 1), 0x3E);
}

TEST(SimFaults, OversizeFrameKeepsItsHeadAndCheckByte) {
    Device device;
    device.faults().oversize = 300;
    const std::string got = device.answer(bytes("3E CA A2 00 00 00 00 00 AC")).bytes();
    ASSERT_EQ(got.size(), 300u);
    const std::string clean = *Device().respond(bytes("3E CA A2 00 00 00 00 00 AC"));
    EXPECT_EQ(got.substr(0, 171), clean.substr(0, 171));
    EXPECT_EQ(check_byte(got), 0);
}

TEST(SimFaults, SplitInTwoWithTheGap) {
    Device device;
    device.faults().split = true;
    device.faults().split_gap = milliseconds(700);
    const Reply reply = device.answer(kReadings);
    ASSERT_EQ(reply.chunks.size(), 2u);
    EXPECT_FALSE(reply.chunks[0].empty());
    EXPECT_FALSE(reply.chunks[1].empty());
    EXPECT_EQ(reply.bytes(), clean_readings());
    EXPECT_EQ(reply.gap, milliseconds(700));
}

TEST(SimFaults, DelayAndPacingTravelWithTheReply) {
    Device device;
    device.faults().delay = milliseconds(250);
    device.faults().pacing = true;
    const Reply reply = device.answer(kReadings);
    EXPECT_EQ(reply.delay, milliseconds(250));
    EXPECT_TRUE(reply.paced);
    EXPECT_EQ(reply.bytes(), clean_readings());
}

TEST(SimFaults, HangUpAfterTheNthAnswer) {
    Device device;
    device.faults().hangup_after = 2;
    const Reply first = device.answer(kReadings);
    const Reply second = device.answer(kReadings);
    EXPECT_FALSE(first.hang_up);
    EXPECT_TRUE(second.hang_up);
    EXPECT_FALSE(second.empty()) << "the Nth request is still answered";
}

// Several faults at once: the check byte is spoiled last, so it stays wrong.
TEST(SimFaults, CombinedFaultsKeepTheWrongCheckByte) {
    Device device;
    device.faults().unknown_code = true;
    device.faults().oversize = 40;
    device.faults().wrong_check = true;
    const std::string got = device.answer(kReadings).bytes();
    EXPECT_EQ(got.size(), 40u);
    EXPECT_EQ(at(got, 3), kUnknownAnswerCode);
    EXPECT_NE(check_byte(got), 0);
}

TEST(SimFaults, EchoComesFirstAndAlsoWhenTheRequestIsLost) {
    Device device;
    device.faults().echo = true;
    EXPECT_EQ(device.answer(kReadings).bytes(), kReadings + clean_readings());
    device.faults().silent = true;
    const Reply lost = device.answer(kReadings);
    EXPECT_EQ(lost.echo, kReadings);
    EXPECT_TRUE(lost.chunks.empty());
}

// --- line faults: what the line hands back before the answer, and per-code faults --------------

// The bytes one request produces on the line, after `before` was answered under the same faults.
struct LineFaultCase {
    const char* name;
    Faults faults;
    std::string before;  // a request handled first; empty = this is the first request
    std::string request;
    std::string echo;    // what comes back before the answer
    std::string answer;  // the answer after it; empty = none
};

const std::string kVersion = framed("31 01 FC");
const std::string kConfigRead = bytes("3E CA A2 00 00 00 00 00 AC");
const std::string kPoll = framed("31 FF");

std::string clean(const std::string& request) {
    return *Device().respond(request);
}

std::string with_wrong_check(std::string answer) {
    answer.back() = static_cast<char>(~static_cast<unsigned char>(answer.back()));
    return answer;
}

std::vector<LineFaultCase> line_fault_cases() {
    const std::string readings = clean(kReadings);
    return {
        {"EchoTwice", {.echo_twice = true}, "", kReadings, kReadings + kReadings, readings},
        {"EchoTwiceWithEchoStillTwice",
         {.echo = true, .echo_twice = true},
         "",
         kReadings,
         kReadings + kReadings,
         readings},
        {"EchoTwiceOfALostRequest",
         {.silent = true, .echo_twice = true},
         "",
         kReadings,
         kReadings + kReadings,
         ""},
        {"EchoPreviousNothingOnTheFirst", {.echo_previous = true}, "", kReadings, "", readings},
        {"EchoPreviousHandsBackTheOneBefore",
         {.echo_previous = true},
         kVersion,
         kReadings,
         kVersion,
         readings},
        {"EchoPreviousBeforeTheOwnEcho",
         {.echo = true, .echo_previous = true},
         kVersion,
         kReadings,
         kVersion + kReadings,
         readings},
        {"EchoPreviousOfALostRequest",
         {.silent = true, .echo_previous = true},
         kVersion,
         kReadings,
         kVersion,
         ""},
        {"EchoPreviousOfAMalformedRequest",
         {.echo_previous = true},
         bytes("31 01 F0 00"),
         kReadings,
         bytes("31 01 F0 00"),
         readings},
        {"PartialEcho", {.partial_echo = 2}, "", kReadings, bytes("31 01"), readings},
        {"PartialEchoLongerThanTheRequest",
         {.partial_echo = 9},
         "",
         kReadings,
         kReadings,
         readings},
        {"PartialEchoTwice",
         {.echo_twice = true, .partial_echo = 3},
         "",
         kConfigRead,
         bytes("3E CA A2 3E CA A2"),
         clean(kConfigRead)},
        {"PartialEchoAfterTheWholePrevious",
         {.echo_previous = true, .partial_echo = 1},
         kVersion,
         kReadings,
         kVersion + bytes("31"),
         readings},
        {"IgnoredCodeUnanswered", {.ignore_code = 0xA2}, "", kConfigRead, "", ""},
        {"IgnoredCodeOtherCodesAnswered",
         {.ignore_code = 0xA2},
         kConfigRead,
         kReadings,
         "",
         readings},
        {"IgnoredCodeStillEchoed",
         {.echo = true, .ignore_code = 0xF0},
         "",
         kReadings,
         kReadings,
         ""},
        // The poll has no code: its third byte is the check byte.
        {"IgnoredCodeSparesThePoll", {.ignore_code = at(kPoll, 3)}, "", kPoll, "", readings},
        {"WrongCheckOnThatCode",
         {.wrong_check_code = 0xA2},
         "",
         kConfigRead,
         "",
         with_wrong_check(clean(kConfigRead))},
        {"WrongCheckOtherCodesIntact", {.wrong_check_code = 0xA2}, "", kReadings, "", readings},
        {"WrongCheckByTheDevicesCodeNotTheUnknownOne",
         {.unknown_code = true, .wrong_check_code = 0xF0},
         "",
         kReadings,
         "",
         with_wrong_check(Control_summ(bytes("3E 01 99") + readings.substr(3, 18)))},
        {"WrongCheckCodeOnTheWrongPasswordAnswer",
         {.wrong_check_code = 0xFD},
         "",
         framed("31 01 F8 00 00 00 07"),
         "",
         with_wrong_check(framed("3E 01 FD"))},
    };
}

class SimLineFaults : public ::testing::TestWithParam<LineFaultCase> {};

TEST_P(SimLineFaults, BytesOnTheLine) {
    const auto& c = GetParam();
    Device device;
    device.faults() = c.faults;
    if (!c.before.empty()) device.answer(c.before);
    const Reply reply = device.answer(c.request);
    EXPECT_EQ(spaced_hex(reply.echo), spaced_hex(c.echo));
    std::string answer;
    for (const auto& chunk : reply.chunks) answer += chunk;
    EXPECT_EQ(spaced_hex(answer), spaced_hex(c.answer));
}

INSTANTIATE_TEST_SUITE_P(Faults, SimLineFaults, ::testing::ValuesIn(line_fault_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// An ignored request does nothing; an answer spoiled by code still had its effect.
TEST(SimFaults, IgnoredCodeHasNoEffectAndSpoiledAnswerKeepsIt) {
    Device device;
    device.faults().ignore_code = 0xF2;
    EXPECT_TRUE(device.answer(framed("31 01 F2 0A")).empty());
    EXPECT_EQ(device.sensor().mode, 0x08);

    device.faults() = {.wrong_check_code = 0xA3};
    const std::string written = write_frame();
    const std::string ack = device.answer(written).bytes();
    EXPECT_EQ(spaced_hex(ack), spaced_hex(with_wrong_check(framed("3E CA A3"))));
    EXPECT_EQ(encode_config(device.tracker().config), written.substr(3, 162));

    Device ignoring;
    ignoring.faults().ignore_code = 0xA3;
    EXPECT_TRUE(ignoring.answer(written).empty());
    EXPECT_EQ(ignoring.tracker().config, TrackerConfig{});
}

// A UART at 19200 hearing bytes sent at other speeds: the same speed hears every byte; a sender
// at half the speed gives other bytes, never the frame.
TEST(SimFaults, WrongSpeedIsHeardAsOtherBytes) {
    const std::string answer = clean_readings();
    EXPECT_EQ(as_heard_at(answer, 19200, 19200), answer);
    EXPECT_EQ(as_heard_at("", 9600, 19200), "");
    // 0xFF at half speed: only the doubled start bit is low, every later sample is high.
    EXPECT_EQ(as_heard_at("\xFF", 9600, 19200), "\xFE");
    // 0x00 at half speed: low through the receiver's stop sample, a framing error.
    EXPECT_EQ(as_heard_at(std::string(1, '\0'), 9600, 19200), std::string(1, '\0'));

    Device device;
    device.faults().garbage_speed = true;
    const std::string heard = device.answer(kReadings).bytes();
    EXPECT_EQ(heard, as_heard_at(answer, 9600, 19200));
    EXPECT_NE(heard.substr(0, 1), answer.substr(0, 1));
}

}  // namespace
}  // namespace velkon::sim
