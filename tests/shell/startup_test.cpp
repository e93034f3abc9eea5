// Start-up, shutdown and the day file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "support/form_fixture.h"

namespace velkon {
namespace {

using testing::FormFixture;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(StartUp, PutsTheWindowInItsInitialStateAndStartsTheDayFile) {
    FormFixture f;
    f.model.set_tab(2);
    f.app.start();

    EXPECT_TRUE(f.vars().mode_yes);
    EXPECT_EQ(f.vars().Ur_progressBar, 1024);
    EXPECT_EQ(f.model.items(ctl::CmbNet), std::vector<std::string>{"0"});
    EXPECT_EQ(f.model.selected(ctl::CmbNet), 0);
    EXPECT_EQ(f.model.tab(), 0);
    EXPECT_TRUE(f.model.timer_enabled(ctl::Timer1));
    EXPECT_FALSE(f.model.timer_enabled(ctl::TMRComm));
    EXPECT_TRUE(f.model.enabled(ctl::BTNOpenCom));
    for (const auto& c : f.model.controls()) EXPECT_FALSE(c.tag.empty()) << c.name;
    EXPECT_EQ(f.model[ctl::Command3].tag, "2");
    EXPECT_EQ(f.model[ctl::CmbPort].tag, "7");
    EXPECT_EQ(f.model[ctl::R_p485].tag, "163");

    const auto day_file = f.folder.path() / "base" / "101226.dat";
    EXPECT_EQ(f.vars().day_file, day_file);
    EXPECT_EQ(read_file(day_file), "Start: 10.12.2026 09:15:30\r\n\r\n");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST(StartUp, SecondStartOfTheDayLeavesTheFileAlone) {
    FormFixture f;
    std::filesystem::create_directories(f.folder.path() / "base");
    const auto day_file = f.folder.path() / "base" / "101226.dat";
    std::ofstream(day_file, std::ios::binary) << "Start: earlier\r\n\r\n1;2;3\r\n";
    f.app.start();
    EXPECT_EQ(read_file(day_file), "Start: earlier\r\n\r\n1;2;3\r\n");
}

TEST(StartUp, RecordsGoToTheDayTheProgramStartedOnAcrossMidnight) {
    FormFixture f;
    f.clock.now = "31.12.2026 23:59:59";
    f.app.start();
    f.clock.now = "01.01.2027 00:00:01";
    ASSERT_TRUE(f.app.day_file().append_record("1000;SIM;ИМЕЙ"));
    const auto day_file = f.folder.path() / "base" / "311226.dat";
    EXPECT_EQ(read_file(day_file),
              "Start: 31.12.2026 23:59:59\r\n\r\n1000;SIM;\xC8\xCC\xC5\xC9\r\n");  // CP1251
    EXPECT_FALSE(std::filesystem::exists(f.folder.path() / "base" / "010127.dat"));
}

// A "base" that is a file, or a program folder that is a file: the start-up box, the link still
// usable, and later records reported rather than lost silently.
TEST(StartUp, FolderFaultsShowTheErrorBoxAndLeaveTheLinkUsable) {
    for (const bool base_is_file : {true, false}) {
        FormFixture f;
        std::filesystem::path folder = f.folder.path();
        if (base_is_file) {
            std::ofstream(folder / "base") << "x";
        } else {
            std::ofstream(folder / "file") << "x";
            folder /= "file";
        }
        WindowModel model;
        Configurator app(model,
                         ConfiguratorSeams{f.port, f.lister, f.dialogs, f.clock, f.reader, folder});
        app.start();

        ASSERT_EQ(f.dialogs.messages.size(), 1u) << base_is_file;
        EXPECT_EQ(f.dialogs.messages[0].icon, Dialogs::Icon::Critical);
        EXPECT_EQ(f.dialogs.messages[0].title.rfind("Error#", 0), 0u);
        EXPECT_NE(f.dialogs.messages[0].text.find("base"), std::string::npos);
        // The message names the file that is in the way.
        const std::string in_the_way = (base_is_file ? folder / "base" : folder).string();
        EXPECT_NE(f.dialogs.messages[0].text.find("(" + in_the_way + ")"), std::string::npos)
            << f.dialogs.messages[0].text;
        EXPECT_TRUE(model.timer_enabled(ctl::Timer1));
        EXPECT_TRUE(model.enabled(ctl::BTNOpenCom));
        EXPECT_EQ(model.tab(), 0);
        EXPECT_TRUE(model.vars.day_file.empty());

        EXPECT_FALSE(app.day_file().append_record("1;2;3"));
        EXPECT_EQ(f.dialogs.messages.size(), 2u);
    }
}

// A day file that a full disk left without its header (empty, or with records only) gets it at
// the next start, ahead of what it holds.
TEST(StartUp, ADayFileWithoutItsHeaderGetsItAtTheNextStart) {
    for (const std::string& before : {std::string(), std::string("1;2;3\r\n")}) {
        FormFixture f;
        std::filesystem::create_directories(f.folder.path() / "base");
        const auto day_file = f.folder.path() / "base" / "101226.dat";
        std::ofstream(day_file, std::ios::binary) << before;
        f.app.start();
        EXPECT_EQ(read_file(day_file), "Start: 10.12.2026 09:15:30\r\n\r\n" + before);
        EXPECT_TRUE(f.dialogs.messages.empty());
    }
}

// The records stay in the program folder: a link planted in the day file's place or in the
// place of "base" is not followed.
TEST(StartUp, LinksOutOfTheProgramFolderAreNotFollowed) {
    FormFixture f;
    const auto victim = f.folder.path() / "victim.txt";
    std::ofstream(victim) << "mine";
    std::filesystem::create_directories(f.folder.path() / "base");
    std::filesystem::create_symlink(victim, f.folder.path() / "base" / "101226.dat");
    f.app.start();
    EXPECT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_FALSE(f.app.day_file().append_record("1;2;3"));
    EXPECT_EQ(read_file(victim), "mine");

    FormFixture g;
    const auto elsewhere = g.folder.path() / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::filesystem::create_symlink(elsewhere, g.folder.path() / "base");
    g.app.start();
    ASSERT_EQ(g.dialogs.messages.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
}

TEST(StartUp, WithoutAHomeFolderTheStartUpMessageSaysSo) {
    FormFixture f;
    WindowModel model;
    Configurator app(model, ConfiguratorSeams{f.port, f.lister, f.dialogs, f.clock, f.reader, {}});
    app.start();
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_NE(f.dialogs.messages[0].text.find("домашняя папка"), std::string::npos);
    EXPECT_TRUE(model.vars.day_file.empty());
    // The configuration copy is not written into whatever folder the program started in.
    app.tracker().write_configuration();
    EXPECT_EQ(f.dialogs.messages.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists("123.cfg"));
}

TEST(ProgramFolder, RelativePathsAreIgnored) {
    {
        test::ScopedEnv xdg("XDG_DATA_HOME", "relative/data");
        test::ScopedEnv home("HOME", "/home/engineer");
        EXPECT_EQ(default_program_folder(),
                  std::filesystem::path("/home/engineer/.local/share/velkon-configurator"));
    }
    {
        test::ScopedEnv xdg("XDG_DATA_HOME", "/data");
        EXPECT_EQ(default_program_folder(), std::filesystem::path("/data/velkon-configurator"));
    }
    {
        test::ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
        test::ScopedEnv home("HOME", "relative");
        const auto folder = default_program_folder();
        EXPECT_TRUE(folder.empty() || folder.is_absolute()) << folder;
    }
}

TEST(StartUp, ARecordThatCannotBeWrittenIsReported) {
    FormFixture f;
    f.app.start();
    std::filesystem::remove(f.vars().day_file);
    std::filesystem::create_directory(f.vars().day_file);  // a folder where the file should be
    EXPECT_FALSE(f.app.day_file().append_record("1;2;3"));
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_NE(f.dialogs.messages[0].text.find("1;2;3"), std::string::npos);
}

// A record is appended whole or not at all: a disk that fills up halfway leaves no half line for
// the next record to continue.
TEST(DayFile, ARecordThatDoesNotFitLeavesNoPartOfItself) {
    FormFixture f;
    f.app.start();
    const auto size = std::filesystem::file_size(f.vars().day_file);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = size + 3;  // room for "111" of the record only
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool appended = f.app.day_file().append_record("11111;SIM;IMEI");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_FALSE(appended);
    EXPECT_EQ(std::filesystem::file_size(f.vars().day_file), size);
    ASSERT_TRUE(f.app.day_file().append_record("22222;SIM;IMEI"));
    EXPECT_EQ(read_file(f.vars().day_file), "Start: 10.12.2026 09:15:30\r\n\r\n22222;SIM;IMEI\r\n");
}

TEST(Shutdown, TerminationEndsTheProgramOnceByAnyPath) {
    FormFixture f;
    f.app.start();
    f.open_link();
    int ended = 0;
    f.app.shell().on_end_program = [&] { ++ended; };
    f.app.terminate();
    EXPECT_FALSE(f.port.is_open());
    EXPECT_FALSE(f.model.timer_enabled(ctl::TMRComm));
    f.app.terminate();  // the event loop's end after a signal, say
    EXPECT_EQ(ended, 1);
}

TEST(Shutdown, CloseRequestReleasesThePortAndEndsTheProgram) {
    for (const bool open : {true, false}) {
        FormFixture f;
        f.app.start();
        if (open) {
            f.lister.entries = {{"ttyUSB0", "/dev/ttyUSB0"}};
            f.app.connection().scan_ports();
            f.app.connection().open_link();
            ASSERT_TRUE(f.port.is_open());
        }
        int ended = 0;
        f.app.shell().on_end_program = [&] { ++ended; };
        f.app.request_close();
        EXPECT_FALSE(f.port.is_open());
        EXPECT_FALSE(f.model.timer_enabled(ctl::TMRComm));
        EXPECT_EQ(ended, 1);
        EXPECT_TRUE(f.app.shell().program_ended());
    }
}

}  // namespace
}  // namespace velkon
