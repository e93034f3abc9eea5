// The calibration windows' shared work against scripted dialogs, without a window: each platform
// format offered writes what its name says, and the buttons refuse or keep quiet where there is
// nothing to do or nothing to ask.
#include "calibration/window_actions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/stand_ins.h"

namespace velkon::calibration {
namespace {

struct Rig : testing::StandIns {
    Calibration cal{model, folder.path()};
    WindowActions actions{cal, model, dialogs, clock, folder.path()};

    // The main window shows `level` at `ms`; the point is recorded at once.
    void record_now(int level, std::int64_t ms) {
        model.set_text(ctl::uroven, std::to_string(level));
        ++model.vars.levels_shown;
        cal.sample(ms);
        ASSERT_FALSE(cal.record_now());
    }
    static std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST(WindowActions, EachPlatformChoiceWritesTheOrderAndSeparatorItNames) {
    Rig r;
    ASSERT_TRUE(r.actions.start(SessionForm{}));
    ASSERT_NO_FATAL_FAILURE(r.record_now(10, 0));
    ASSERT_NO_FATAL_FAILURE(r.record_now(100, 500));
    ASSERT_EQ(r.cal.session().points(), (std::vector<Point>{{0, 10}, {20, 100}}));
    const struct {
        std::string_view name;
        const char* text;
    } expected[] = {
        {"уровень;литры", "10;0\r\n100;20\r\n"},
        {"литры;уровень", "0;10\r\n20;100\r\n"},
        {"уровень,литры", "10,0\r\n100,20\r\n"},
        {"литры,уровень", "0,10\r\n20,100\r\n"},
        {"уровень<Tab>литры", "10\t0\r\n100\t20\r\n"},
        {"литры<Tab>уровень", "0\t10\r\n20\t100\r\n"},
    };
    ASSERT_EQ(std::size(expected), kPlatformChoices.size());
    for (std::size_t i = 0; i < kPlatformChoices.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(kPlatformChoices[i].name, expected[i].name);
        const auto path = r.folder.path() / ("platform" + std::to_string(i) + ".csv");
        const auto note = r.actions.export_platform(path, i);
        ASSERT_TRUE(note) << r.dialogs.texts().back();
        EXPECT_EQ(Rig::read_all(path), expected[i].text);
    }
    EXPECT_TRUE(r.dialogs.messages.empty());
}

TEST(WindowActions, NothingToDoIsSaidAndNothingIsAskedInVain) {
    Rig r;
    // No session yet: every button says what to do first, and asks nothing.
    r.actions.toggle_wait();
    EXPECT_FALSE(r.actions.remeasure(0));
    EXPECT_FALSE(r.actions.remove(0).made);
    EXPECT_FALSE(r.actions.export_csv(r.folder.path() / "a.csv"));
    bool written = false;
    EXPECT_FALSE(r.actions.report(r.folder.path() / "a.pdf",
                                  [&](const Session&, const std::filesystem::path&) {
                                      written = true;
                                      return std::optional<std::string>();
                                  }));
    EXPECT_FALSE(written);
    EXPECT_EQ(r.dialogs.texts(), (std::vector<std::string>{
                                     "Сначала начните новый сеанс или откройте сохранённый.",
                                     "Выберите в таблице точку, которую перемерить.",
                                     "Выберите в таблице точку, которую удалить.",
                                     "В таблице нет точек: сохранять в CSV нечего.",
                                     "В таблице нет точек: отчёт не из чего составить.",
                                 }));
    for (const auto& m : r.dialogs.messages) EXPECT_EQ(m.title, kWindowTitle);
    EXPECT_FALSE(std::filesystem::exists(r.folder.path() / "a.csv"));

    // A new session over an empty table is not asked about; over a table it is, and a No keeps
    // the table and its file.
    ASSERT_TRUE(r.actions.start(SessionForm{}));
    ASSERT_TRUE(r.actions.start(SessionForm{}));
    EXPECT_TRUE(r.dialogs.questions.empty());
    ASSERT_NO_FATAL_FAILURE(r.record_now(10, 0));
    ASSERT_NO_FATAL_FAILURE(r.record_now(100, 500));
    const auto file = r.cal.file();
    r.dialogs.answers = {false};
    EXPECT_FALSE(r.actions.start(SessionForm{}));
    EXPECT_EQ(r.cal.file(), file);
    EXPECT_EQ(r.cal.session().points().size(), 2u);

    // Only a volume that moved with points after it asks about shifting them.
    const std::size_t asked = r.dialogs.questions.size();
    EXPECT_FALSE(r.actions.edit(0, {0, 12}));    // the level only
    EXPECT_FALSE(r.actions.edit(1, {25, 100}));  // the last point
    EXPECT_EQ(r.dialogs.questions.size(), asked);
    EXPECT_EQ(r.cal.session().points(), (std::vector<Point>{{0, 12}, {25, 100}}));
}

}  // namespace
}  // namespace velkon::calibration
