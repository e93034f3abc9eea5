// The small commands of hidden buttons and the address box.
#include <gtest/gtest.h>

#include "support/form_fixture.h"

namespace velkon {
namespace {

using testing::FormFixture;

struct FrameCase {
    ControlName control;
    std::string frame;
};

class AuxFrames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(AuxFrames, QueueTheirFrameReplacingWhatWasPending) {
    FormFixture f;
    f.app.start();
    f.vars().wrs = "pending";
    ASSERT_TRUE(f.app.fire(GetParam().control));
    EXPECT_EQ(f.vars().wrs, GetParam().frame);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, AuxFrames,
    ::testing::Values(FrameCase{ctl::Command1,
                                FormFixture::bytes({0x3E, 0xCA, 0xA5, 0, 0, 0, 0, 0, 0x29})},
                      FrameCase{ctl::gsmlog, FormFixture::bytes({0x3E, 0xCA, 0xE8, 0x52})}),
    [](const auto& info) { return info.param.control.str(); });

TEST(AuxCommands, AddressBoxEditAsksForVersionAndSerialNumber) {
    FormFixture f;
    f.app.start();
    f.app.fire(ctl::CmbNet, ControlEvent::Change);
    EXPECT_EQ(f.vars().wrs, FormFixture::bytes({0x31, 0x00, 0xFC, 0xA2}));
    f.model.set_selected(ctl::CmbNet, -1);
    f.app.fire(ctl::CmbNet, ControlEvent::Change);
    EXPECT_EQ(f.vars().wrs, "");
}

TEST(AuxCommands, PointToCommaTest) {
    const std::pair<const char*, const char*> cases[] = {
        {"1.2.3", "1,2,3"}, {"abc", "abc"}, {"", ""}, {"..", ",,"}};
    for (const auto& [typed, shown] : cases) {
        FormFixture f;
        f.dialogs.inputs = {typed};
        f.app.fire(ctl::Command2);
        ASSERT_EQ(f.dialogs.inputs_asked.size(), 1u);
        EXPECT_EQ(f.dialogs.inputs_asked[0].prompt, "Введите строку");
        EXPECT_EQ(f.dialogs.inputs_asked[0].title, "Замена символа");
        EXPECT_EQ(f.dialogs.texts(), std::vector<std::string>{shown});
        EXPECT_EQ(f.vars().wrs, "");
    }
}

}  // namespace
}  // namespace velkon
