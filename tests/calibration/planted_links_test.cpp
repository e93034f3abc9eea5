// The folders the program writes in inside its program folder — the day files' base/, the
// calibration sessions' tarirovka/, the profiles' profiles/ — are never followed when a symbolic
// link stands in their place: the write is refused, said in a message, and nothing reaches the
// link's target.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "calibration/calibration.h"
#include "support/form_fixture.h"

namespace velkon {
namespace {

namespace fs = std::filesystem;

struct Rig : testing::FormFixture {
    test::TempDir outside;  // where a planted link points
};

calibration::SessionInfo session_info() {
    calibration::SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.portion = 20;
    info.rule = {10.0, 2.0};
    return info;
}

// What the writer of one folder says when it is refused ("" when it was not).
using Writer = std::function<std::string(Rig&)>;

std::string last_message(const Rig& r) {
    return r.dialogs.messages.empty() ? "" : r.dialogs.messages.back().text;
}

struct Planted {
    const char* name;
    const char* folder;
    bool dangling;  // the link points to nothing (yet)
    Writer write;
};

void PrintTo(const Planted& p, std::ostream* os) {
    *os << p.name;
}

const Writer kStart = [](Rig& r) {
    r.app.start();
    return last_message(r);
};

const Writer kNewSession = [](Rig& r) {
    calibration::Calibration cal{r.model, r.folder.path()};
    return cal.start(session_info()).value_or("");
};

// The link comes after the session started: the next save is refused too.
const Writer kLaterSave = [](Rig& r) {
    const fs::path folder = r.folder.path() / "tarirovka";
    fs::rename(folder, r.folder.path() / "planted");
    calibration::Calibration cal{r.model, r.folder.path()};
    const auto started = cal.start(session_info());
    if (started) return "the session did not start: " + *started;
    fs::remove_all(folder);
    fs::rename(r.folder.path() / "planted", folder);
    r.model.set_text(ctl::uroven, "100");
    ++r.model.vars.levels_shown;
    cal.sample(0);
    return cal.record_now().value_or("");
};

const Writer kProfileButton(ControlName button) {
    return [button](Rig& r) {
        r.app.start();
        r.model.set_text(ctl::time_otpr, "60");  // a record «Установить» would take
        for (int n = 1; n <= 8; ++n) r.model.set_text(ctl::channel_address[n - 1], "1");
        r.dialogs.messages.clear();
        r.app.fire(button);
        EXPECT_TRUE(r.dialogs.files_asked.empty()) << "a file box opened in the link's target";
        return last_message(r);
    };
}

class PlantedLink : public ::testing::TestWithParam<Planted> {};

TEST_P(PlantedLink, IsRefusedNotFollowed) {
    const Planted& p = GetParam();
    Rig r;
    const fs::path target = p.dangling ? r.outside.path() / "missing" : r.outside.path();
    const fs::path link = r.folder.path() / p.folder;
    fs::create_directory_symlink(target, link);

    const std::string said = p.write(r);

    EXPECT_NE(said.find("путь ведёт по ссылке за пределы папки программы"), std::string::npos)
        << said;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_TRUE(fs::is_empty(r.outside.path())) << "something was written through the link";
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PlantedLink,
    ::testing::Values(Planted{"base", "base", false, kStart},
                      Planted{"base_dangling", "base", true, kStart},
                      Planted{"tarirovka", "tarirovka", false, kNewSession},
                      Planted{"tarirovka_dangling", "tarirovka", true, kNewSession},
                      Planted{"tarirovka_after_start", "tarirovka", false, kLaterSave},
                      Planted{"profiles_save", "profiles", false, kProfileButton(ctl::save_prof)},
                      Planted{"profiles_load", "profiles", false, kProfileButton(ctl::load_prof)},
                      Planted{"profiles_dangling", "profiles", true,
                              kProfileButton(ctl::load_prof)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkon
