// The sensor command set: the frames each command leaves in `wrs`, its questions and input
// boxes, its refusals, and the binding record of the unit's serial number.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/monitor.h"
#include "support/form_fixture.h"

namespace velkon {
namespace {

using testing::FormFixture;

// "31 01 F5 FA" for readable failures.
std::string spaced(std::string_view frame) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : frame) {
        const auto b = static_cast<unsigned char>(c);
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The readings request, standing for a request that was pending before the command.
const std::string kPending = FormFixture::bytes({0x31, 0x01, 0xF0, 0xC5});

using Arrange = std::function<void(FormFixture&)>;

// Runs the control's handler; the version request has no control and returns its frame.
// Not a control: the version request goes out when the network entry changes.
constexpr ControlName kVersionRequest{"Zapros_ser_num"};

void run(FormFixture& f, ControlName control) {
    if (control == kVersionRequest) {
        f.vars().wrs = version_request(f.model);
    } else {
        ASSERT_TRUE(f.app.fire(control)) << control;
    }
}

class SensorCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        f.app.start();  // CmbNet holds "0", selected; the day file exists
        ASSERT_TRUE(f.dialogs.messages.empty());
        f.vars().wrs = kPending;
    }
    void select_no_sensor() { f.model.set_selected(ctl::CmbNet, -1); }

    FormFixture f;
};

// --- Frames ---------------------------------------------------------------------------------

struct FrameCase {
    std::string name;
    ControlName control;
    std::string wrs;  // expected, spaced hexadecimal; "" for none
    Arrange arrange = [](FormFixture&) {};
    std::vector<bool> answers = {};
    std::vector<std::string> inputs = {};
    bool echo = false;
    std::optional<std::string> gen_txt = std::nullopt;
    bool sets_mode_yes = false;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class SensorCommandFrames : public SensorCommands,
                            public ::testing::WithParamInterface<FrameCase> {};

Arrange text(ControlName control, std::string value) {
    return [=](FormFixture& f) { f.model.set_text(control, value); };
}

Arrange checks(std::vector<ControlName> on) {
    return [=](FormFixture& f) {
        for (ControlName c : {ctl::iinv, ctl::usredn, ctl::D_4096}) f.model.set_checked(c, false);
        for (const auto& c : on) f.model.set_checked(c, true);
    };
}

Arrange network_entry(std::string entry) {
    return [=](FormFixture& f) {
        f.model.set_items(ctl::CmbNet, {entry});
        f.model.set_selected(ctl::CmbNet, 0);
    };
}

const FrameCase kFrameCases[] = {
    {.name = "FullLevel",
     .control = ctl::hig,
     .wrs = "31 01 F5 FA",
     .answers = {true},
     .echo = true},
    {.name = "EmptyLevel",
     .control = ctl::low,
     .wrs = "31 01 FA BB",
     .answers = {true},
     .echo = true},
    {.name = "EngineRunning",
     .control = ctl::bp_on,
     .wrs = "31 01 E3 BA",
     .arrange = text(ctl::tek, "1000"),
     .echo = true},
    {.name = "EngineStopped",
     .control = ctl::bp_off,
     .wrs = "31 01 E5 67",
     .arrange = text(ctl::tek, "1000"),
     .echo = true},
    // The text written when the port closes starts with a capital letter and does not refuse.
    {.name = "EngineRunningAfterPortClosed",
     .control = ctl::bp_on,
     .wrs = "31 01 E3 BA",
     .arrange = text(ctl::tek, "Нет данных"),
     .echo = true},
    {.name = "HorizonWithoutAnyCheck",
     .control = ctl::gorizont,
     .wrs = "31 01 AA 60",
     .arrange = [](FormFixture& f) { f.model.set_selected(ctl::CmbNet, -1); }},
    {.name = "ModeRs485SmoothingRange4096",
     .control = ctl::Set_mode,
     .wrs = "31 01 F2 88 2A",
     .arrange = checks({ctl::R485, ctl::usredn, ctl::D_4096}),
     .answers = {true},
     .sets_mode_yes = true},
    {.name = "ModeNothingChecked",
     .control = ctl::Set_mode,
     .wrs = "31 01 F2 00 64",
     .arrange = checks({}),
     .answers = {true},
     .sets_mode_yes = true},
    {.name = "ModePeriodicRs485Inverted",
     .control = ctl::Set_mode,
     .wrs = "31 01 F2 11 A7",
     .arrange = checks({ctl::R_p485, ctl::iinv}),
     .answers = {true},
     .sets_mode_yes = true},
    {.name = "ChangePasswordUpperBound",
     .control = ctl::Chg_pass,
     .wrs = "31 01 F7 77 35 94 00 D4",
     .answers = {true},
     .inputs = {"2000000000"},
     .echo = true},
    {.name = "EnterPasswordZero",
     .control = ctl::Vvod_PWD,
     .wrs = "31 01 F8 00 00 00 00 86",
     .inputs = {"0"},
     .echo = true},
    // The shared conversion: blanks around the number and a fraction rounded half to even.
    {.name = "EnterPasswordTypedLoosely",
     .control = ctl::Vvod_PWD,
     .wrs = "31 01 F8 00 00 04 D2 56",
     .inputs = {" 1234,5 "},
     .echo = true},
    {.name = "NetworkAddress",
     .control = ctl::net,
     .wrs = "31 00 FB 05 42",
     .inputs = {"5"},
     .echo = true},
    {.name = "NetworkAddressUpperBound",
     .control = ctl::net,
     .wrs = "31 00 FB C8 75",
     .inputs = {"200"},
     .echo = true},
    {.name = "NextSerialNumber",
     .control = ctl::next_ser_num,
     .wrs = "31 00 A4 00 00 00 2A 58",
     .arrange = text(ctl::sn, "41"),
     .echo = true},
    {.name = "NextSerialNumberFromMinusOne",
     .control = ctl::next_ser_num,
     .wrs = "31 00 A4 00 00 00 00 05",
     .arrange = text(ctl::sn, "-1"),
     .echo = true},
    {.name = "UnitSerialNumber",
     .control = ctl::InstSN,
     .wrs = "3E CA A4 00 00 03 E8 69",
     .inputs = {"1000"},
     .echo = true},
    {.name = "UnitBp", .control = ctl::Set_BP, .wrs = "3E CA A6 00 00 04 AE 1F", .echo = true},
    {.name = "UnitBpUpperBound",
     .control = ctl::Set_BP,
     .wrs = "3E CA A6 00 00 4E 20 F0",
     .arrange = text(ctl::bp1, "20000"),
     .echo = true},
    {.name = "ShiftFullUp",
     .control = ctl::sdv_hi,
     .wrs = "31 00 F4 03 E8 24",
     .arrange = text(ctl::sdv_verh, "1000"),
     .answers = {true}},
    {.name = "ShiftEmptyDown",
     .control = ctl::sdv_low,
     .wrs = "31 00 F9 FC 18 C1",
     .arrange = text(ctl::sdv_niz, "-1000"),
     .answers = {true}},
    {.name = "ShiftEmptyMinusOne",
     .control = ctl::sdv_low,
     .wrs = "31 00 F9 FF FF FE",
     .arrange = text(ctl::sdv_niz, "-1"),
     .answers = {true}},
    {.name = "ShiftToTheSelectedSensor",
     .control = ctl::sdv_hi,
     .wrs = "31 05 F4 00 00 DB",
     .arrange = network_entry("5"),
     .answers = {true}},
    {.name = "GenerateFull",
     .control = ctl::gen_up,
     .wrs = "",
     .arrange = text(ctl::sdv_verh, "20"),
     .inputs = {"7"},
     .gen_txt = "S485=6:8:150:19200:3107F4001420"},
    {.name = "GenerateEmptyHighestRemoteAddress",
     .control = ctl::gen_down,
     .wrs = "",
     .arrange = text(ctl::sdv_niz, "-10"),
     .inputs = {"199"},
     .gen_txt = "S485=6:8:150:19200:31C7F9FFF6DD"},
    {.name = "GenerateEmptyExample",
     .control = ctl::gen_down,
     .wrs = "",
     .arrange = text(ctl::sdv_niz, "-10"),
     .inputs = {"5"},
     .gen_txt = "S485=6:8:150:19200:3105F9FFF6E3"},
    {.name = "NetworkPoll",
     .control = ctl::Opros,
     .wrs = "31 FF DC",
     .echo = true,
     .sets_mode_yes = true},
    {.name = "VersionRequest", .control = kVersionRequest, .wrs = "31 00 FC A2"},
    {.name = "VersionRequestOtherAddress",
     .control = kVersionRequest,
     .wrs = "31 0C FC EF",
     .arrange = network_entry("12")},
};

TEST_P(SensorCommandFrames, QueuesItsFrame) {
    const FrameCase& c = GetParam();
    f.vars().mode_yes = false;
    c.arrange(f);
    f.dialogs.answers.assign(c.answers.begin(), c.answers.end());
    f.dialogs.inputs.assign(c.inputs.begin(), c.inputs.end());

    run(f, c.control);

    EXPECT_EQ(spaced(f.vars().wrs), c.wrs);
    EXPECT_TRUE(f.dialogs.texts().empty());
    EXPECT_TRUE(f.dialogs.answers.empty()) << "a scripted question was not asked";
    EXPECT_TRUE(f.dialogs.inputs.empty()) << "a scripted input box was not shown";
    EXPECT_EQ(f.model.text(ctl::txtRec), c.echo ? request_echo(f.vars().wrs) : "");
    if (c.gen_txt) {
        EXPECT_EQ(f.model.text(ctl::gen_txt), *c.gen_txt);
        EXPECT_EQ(f.model.text(ctl::ns), c.inputs.front());
    }
    EXPECT_EQ(f.vars().mode_yes, c.sets_mode_yes);
}

INSTANTIATE_TEST_SUITE_P(Table, SensorCommandFrames, ::testing::ValuesIn(kFrameCases),
                         [](const auto& info) { return info.param.name; });

// --- Questions and input boxes ----------------------------------------------------------------

struct DialogCase {
    ControlName control;
    std::string question;  // "" for none
    std::optional<testing::ScriptedDialogs::Asked> input;
    Arrange arrange = [](FormFixture&) {};
};

class SensorCommandDialogs : public SensorCommands,
                             public ::testing::WithParamInterface<DialogCase> {};

const DialogCase kDialogCases[] = {
    {ctl::hig, "Сейчас будет произведена перекалибровка верхнего уровня. Вы уверены что это нужно?",
     std::nullopt},
    {ctl::low, "Сейчас будет произведена перекалибровка нижнего уровня. Вы уверены что это нужно?",
     std::nullopt},
    {ctl::Set_mode, "Сейчас будет изменен режим работы датчика. Вы уверены что это нужно?",
     std::nullopt},
    {ctl::Chg_pass,
     "Сейчас будет изменен пароль датчика. Если Вы забудете новый пароль, снять его сможет только "
     "производитель. МЕНЯЕМ ?",
     testing::ScriptedDialogs::Asked{"Введите новый пароль", "Ввод нового пароля", "0"}},
    {ctl::Vvod_PWD, "", testing::ScriptedDialogs::Asked{"Введите пароль", "Ввод пароля", ""}},
    {ctl::net, "",
     testing::ScriptedDialogs::Asked{"Введите новый сетевой номер", "Ввод сетевого номера", "3"},
     network_entry("3")},
    {ctl::InstSN, "",
     testing::ScriptedDialogs::Asked{"Введите серийный номер", "Ввод серийного номера", "0"}},
    {ctl::sdv_hi, "Сейчас будет сдвинут верхний уровень. Вы уверены что это нужно?", std::nullopt},
    {ctl::sdv_low, "Сейчас будет сдвинут уровень пустого. Вы уверены что это нужно?", std::nullopt},
    {ctl::gen_up, "",
     testing::ScriptedDialogs::Asked{"Введите сетевой адрес удаленного датчика",
                                     "Генерирование сдвига", "0"}},
    {ctl::gen_down, "",
     testing::ScriptedDialogs::Asked{"Введите сетевой адрес удаленного датчика",
                                     "Генерирование сдвига", "0"}},
};

// Answers Yes to the question and types "1" into the input box, then checks what was shown.
TEST_P(SensorCommandDialogs, AsksInItsOwnWords) {
    const DialogCase& c = GetParam();
    c.arrange(f);
    if (!c.question.empty()) f.dialogs.answers = {true};
    if (c.input) f.dialogs.inputs = {"1"};

    run(f, c.control);

    EXPECT_EQ(f.dialogs.questions,
              c.question.empty() ? std::vector<std::string>{} : std::vector{c.question});
    ASSERT_EQ(f.dialogs.inputs_asked.size(), c.input ? 1u : 0u);
    if (c.input) {
        EXPECT_EQ(f.dialogs.inputs_asked[0].prompt, c.input->prompt);
        EXPECT_EQ(f.dialogs.inputs_asked[0].title, c.input->title);
        EXPECT_EQ(f.dialogs.inputs_asked[0].initial, c.input->initial);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SensorCommandDialogs, ::testing::ValuesIn(kDialogCases),
                         [](const auto& info) { return info.param.control.str(); });

// --- Refusals -------------------------------------------------------------------------------

constexpr const char* kPasswordRange = "Введите числовой пароль в диапазоне 0....2 000 000 000";
constexpr const char* kAddressRange = "Введите число в диапазоне 0....200";
constexpr const char* kSerialRange = "Введите число в диапазоне 0....2 000 000";
constexpr const char* kBpRange = "Введите число в диапазоне 0....20 000";
constexpr const char* kShiftRange = "Значения могут быть от -1000 до 1000";
constexpr const char* kSetPassword = "Установите допустимый пароль";
constexpr const char* kSetAddress = "Установите существующий сетевой адрес";

enum class Pending { Kept, Dropped };

// Positional rows: an arrange or verify step given as {} is none.
struct RefusalCase {
    std::string name;
    ControlName control;
    std::vector<std::string> messages;
    Pending pending;
    Arrange arrange = [](FormFixture&) {};
    std::vector<bool> answers = {};
    std::vector<std::string> inputs = {};
    bool echoes_empty = false;  // the refusal still echoes the (empty) pending request
    Arrange verify = [](FormFixture&) {};
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class SensorCommandRefusals : public SensorCommands,
                              public ::testing::WithParamInterface<RefusalCase> {};

Arrange no_sensor() {
    return [](FormFixture& f) { f.model.set_selected(ctl::CmbNet, -1); };
}

Arrange both(Arrange a, Arrange b) {
    return [=](FormFixture& f) {
        a(f);
        b(f);
    };
}

Arrange expect_text(ControlName control, std::string value) {
    return [=](FormFixture& f) { EXPECT_EQ(f.model.text(control), value) << control; };
}

const RefusalCase kRefusalCases[] = {
    // No sensor selected: calibration, mode, shift and ignition end before asking anything.
    {"FullLevelNoSensor", ctl::hig, {}, Pending::Kept, no_sensor()},
    {"EmptyLevelNoSensor", ctl::low, {}, Pending::Kept, no_sensor()},
    {"ModeNoSensor", ctl::Set_mode, {}, Pending::Kept, no_sensor()},
    {"EngineNoSensor", ctl::bp_on, {}, Pending::Kept, both(no_sensor(), text(ctl::tek, "1000"))},
    {"ShiftNoSensor", ctl::sdv_hi, {}, Pending::Kept, no_sensor()},
    // An entry that is no byte cannot be an address: it counts as no selection.
    {"ShiftEntryNotAnAddress", ctl::sdv_low, {}, Pending::Kept, network_entry("abc")},
    // Password commands ask first and refuse after.
    {"ChangePasswordNoSensor",
     ctl::Chg_pass,
     {kSetPassword},
     Pending::Dropped,
     no_sensor(),
     {true},
     {"5"}},
    {"EnterPasswordNoSensor",
     ctl::Vvod_PWD,
     {kSetPassword},
     Pending::Dropped,
     no_sensor(),
     {},
     {"5"}},
    {"NetworkAddressNoSensor",
     ctl::net,
     {kSetAddress},
     Pending::Kept,
     no_sensor(),
     {},
     {"5"},
     false,
     [](FormFixture& f) { EXPECT_EQ(f.dialogs.inputs_asked.at(0).initial, ""); }},
    {"NetworkAddressEntryNotAnAddress",
     ctl::net,
     {kSetAddress},
     Pending::Kept,
     network_entry("300"),
     {},
     {"5"}},
    {"NextSerialNoSensor",
     ctl::next_ser_num,
     {kSetAddress},
     Pending::Dropped,
     both(no_sensor(), text(ctl::sn, "41")),
     {},
     {},
     true},
    {"UnitSerialNoSensor",
     ctl::InstSN,
     {kSetAddress},
     Pending::Dropped,
     no_sensor(),
     {},
     {"5"},
     true},
    {"UnitBpNoSensor", ctl::Set_BP, {kSetAddress}, Pending::Dropped, no_sensor(), {}, {}, true},
    // Ignition calibration before the sensor has sent a reading.
    {"EngineRunningNoReadings", ctl::bp_on, {"Датчик не подключен!"}, Pending::Kept},
    {"EngineStoppedNoReadings", ctl::bp_off, {"Датчик не подключен!"}, Pending::Kept},
    // Declined confirmations.
    {"FullLevelDeclined", ctl::hig, {}, Pending::Kept, {}, {false}},
    {"EmptyLevelDeclined", ctl::low, {}, Pending::Kept, {}, {false}},
    {"ModeDeclined", ctl::Set_mode, {}, Pending::Kept, {}, {false}},
    {"ShiftDeclined", ctl::sdv_hi, {}, Pending::Kept, text(ctl::sdv_verh, "5"), {false}},
    {"ChangePasswordDeclined", ctl::Chg_pass, {}, Pending::Dropped, {}, {false}},
    // Cancelled (or emptied) input boxes.
    {"ChangePasswordCancelled", ctl::Chg_pass, {}, Pending::Dropped, {}, {true}, {""}},
    {"EnterPasswordCancelled", ctl::Vvod_PWD, {}, Pending::Dropped, {}, {}, {""}},
    {"NetworkAddressCancelled", ctl::net, {}, Pending::Kept, {}, {}, {""}},
    {"UnitSerialCancelled", ctl::InstSN, {}, Pending::Dropped, {}, {}, {""}},
    // Passwords.
    {"PasswordAboveRange",
     ctl::Chg_pass,
     {kPasswordRange},
     Pending::Dropped,
     {},
     {true},
     {"2000000001"}},
    {"PasswordNegative", ctl::Vvod_PWD, {kPasswordRange}, Pending::Dropped, {}, {}, {"-1"}},
    {"PasswordNotANumber", ctl::Vvod_PWD, {kPasswordRange}, Pending::Dropped, {}, {}, {"abc"}},
    {"PasswordBeyond32Bits",
     ctl::Vvod_PWD,
     {kPasswordRange},
     Pending::Dropped,
     {},
     {},
     {"99999999999"}},
    // Network address.
    {"AddressAboveRange", ctl::net, {kAddressRange}, Pending::Kept, {}, {}, {"201"}},
    {"AddressBeyondByte", ctl::net, {kAddressRange}, Pending::Kept, {}, {}, {"300"}},
    {"AddressNegative", ctl::net, {kAddressRange}, Pending::Kept, {}, {}, {"-1"}},
    {"AddressNotANumber", ctl::net, {kAddressRange}, Pending::Kept, {}, {}, {"abc"}},
    // Serial numbers.
    {"NextSerialAboveRange",
     ctl::next_ser_num,
     {kSerialRange},
     Pending::Dropped,
     text(ctl::sn, "2000000")},
    {"NextSerialUnknown",
     ctl::next_ser_num,
     {kSerialRange},
     Pending::Dropped,
     text(ctl::sn, "????????")},
    {"NextSerialNegative",
     ctl::next_ser_num,
     {kSerialRange},
     Pending::Dropped,
     text(ctl::sn, "-2")},
    {"NextSerialFromLargest32Bit",
     ctl::next_ser_num,
     {kSerialRange},
     Pending::Dropped,
     text(ctl::sn, "2147483647")},
    {"NextSerialNothingRead", ctl::next_ser_num, {}, Pending::Dropped, text(ctl::sn, "")},
    {"UnitSerialAboveRange", ctl::InstSN, {kSerialRange}, Pending::Dropped, {}, {}, {"2000001"}},
    {"UnitSerialNotANumber", ctl::InstSN, {kSerialRange}, Pending::Dropped, {}, {}, {"abc"}},
    // The unit's BP value.
    {"BpAboveRange", ctl::Set_BP, {kBpRange}, Pending::Dropped, text(ctl::bp1, "20001")},
    {"BpNegative", ctl::Set_BP, {kBpRange}, Pending::Dropped, text(ctl::bp1, "-1")},
    {"BpNotANumber", ctl::Set_BP, {kBpRange}, Pending::Dropped, text(ctl::bp1, "")},
    // Shifts: a range message before anything is asked, a silent stop for no 16-bit number.
    {"ShiftAboveRange", ctl::sdv_hi, {kShiftRange}, Pending::Kept, text(ctl::sdv_verh, "1001")},
    {"ShiftBelowRange", ctl::sdv_low, {kShiftRange}, Pending::Kept, text(ctl::sdv_niz, "-1001")},
    {"ShiftRoundedOutOfRange",
     ctl::sdv_low,
     {kShiftRange},
     Pending::Kept,
     text(ctl::sdv_niz, "1000.6")},
    {"ShiftOutOfRangeNoSensor",
     ctl::sdv_hi,
     {kShiftRange},
     Pending::Kept,
     both(no_sensor(), text(ctl::sdv_verh, "-5000"))},
    {"ShiftNotANumber", ctl::sdv_low, {}, Pending::Kept, text(ctl::sdv_niz, "x")},
    {"ShiftBeyond16Bits", ctl::sdv_hi, {}, Pending::Kept, text(ctl::sdv_verh, "40000")},
    // Shift generator: the typed address stays in `ns` whatever follows.
    {"GenerateAddress200",
     ctl::gen_up,
     {},
     Pending::Kept,
     {},
     {},
     {"200"},
     false,
     both(expect_text(ctl::ns, "200"), expect_text(ctl::gen_txt, ""))},
    {"GenerateCancelled",
     ctl::gen_up,
     {},
     Pending::Kept,
     text(ctl::ns, "31"),
     {},
     {""},
     false,
     both(expect_text(ctl::ns, ""), expect_text(ctl::gen_txt, ""))},
    {"GenerateAddressNotANumber",
     ctl::gen_down,
     {},
     Pending::Kept,
     {},
     {},
     {"x"},
     false,
     expect_text(ctl::gen_txt, "")},
    {"GenerateShiftOutOfRange",
     ctl::gen_down,
     {kShiftRange},
     Pending::Kept,
     text(ctl::sdv_niz, "1001"),
     {},
     {"7"},
     false,
     expect_text(ctl::gen_txt, "")},
    {"GenerateShiftNotANumber",
     ctl::gen_up,
     {},
     Pending::Kept,
     text(ctl::sdv_verh, "x"),
     {},
     {"7"},
     false,
     expect_text(ctl::gen_txt, "")},
};

TEST_P(SensorCommandRefusals, QueuesNothing) {
    const RefusalCase& c = GetParam();
    if (c.arrange) c.arrange(f);
    f.dialogs.answers.assign(c.answers.begin(), c.answers.end());
    f.dialogs.inputs.assign(c.inputs.begin(), c.inputs.end());

    run(f, c.control);

    EXPECT_EQ(f.dialogs.texts(), c.messages);
    for (const auto& m : f.dialogs.messages) {
        EXPECT_EQ(m.title, "Orvik");
        EXPECT_EQ(m.icon, Dialogs::Icon::None);
    }
    EXPECT_TRUE(f.dialogs.answers.empty()) << "a scripted question was not asked";
    EXPECT_TRUE(f.dialogs.inputs.empty()) << "a scripted input box was not shown";
    EXPECT_EQ(spaced(f.vars().wrs), spaced(c.pending == Pending::Kept ? kPending : ""));
    EXPECT_EQ(f.model.text(ctl::txtRec), c.echoes_empty ? "\r\n\r\n" : "");
    if (c.verify) c.verify(f);
}

INSTANTIATE_TEST_SUITE_P(Table, SensorCommandRefusals, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return info.param.name; });

TEST_F(SensorCommands, VersionRequestNeedsASelectedAddress) {
    select_no_sensor();
    EXPECT_EQ(version_request(f.model), "");
    network_entry("x")(f);
    EXPECT_EQ(version_request(f.model), "");
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_EQ(f.model.text(ctl::txtRec), "");
}

TEST_F(SensorCommands, ALaterCommandReplacesAnUnsentOne) {
    f.dialogs.answers = {true, true};
    f.app.fire(ctl::hig);
    f.app.fire(ctl::low);
    EXPECT_EQ(spaced(f.vars().wrs), "31 01 FA BB");
}

// --- The binding record -----------------------------------------------------------------------

TEST_F(SensorCommands, UnitSerialNumberIsRecordedInTheDayFileBeforeItIsChecked) {
    f.model.set_text(ctl::nsim, "89701010000000000012");
    f.model.set_text(ctl::imei, "356938035643809");
    f.dialogs.inputs = {"1000", "abc"};

    f.app.fire(ctl::InstSN);
    EXPECT_EQ(spaced(f.vars().wrs), "3E CA A4 00 00 03 E8 69");
    f.app.fire(ctl::InstSN);  // refused, but recorded all the same

    EXPECT_EQ(read_file(f.vars().day_file),
              "Start: 10.12.2026 09:15:30\r\n\r\n"
              "1000;89701010000000000012;356938035643809\r\n"
              "abc;89701010000000000012;356938035643809\r\n");
    EXPECT_EQ(f.dialogs.texts(), std::vector<std::string>{kSerialRange});
}

TEST_F(SensorCommands, UnitSerialNumberWithoutADayFileIsReportedAndStillQueued) {
    f.vars().day_file.clear();
    f.dialogs.inputs = {"1000"};
    f.app.fire(ctl::InstSN);
    EXPECT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_EQ(spaced(f.vars().wrs), "3E CA A4 00 00 03 E8 69");
}

TEST_F(SensorCommands, UnitSerialNumberWithAnUnwritableDayFileIsReportedAndStillQueued) {
    f.vars().day_file = f.folder.path() / "base";  // a folder cannot be appended to
    f.dialogs.inputs = {"1000"};
    f.app.fire(ctl::InstSN);
    EXPECT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_EQ(spaced(f.vars().wrs), "3E CA A4 00 00 03 E8 69");
}

}  // namespace
}  // namespace velkon
