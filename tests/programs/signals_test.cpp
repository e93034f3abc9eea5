// Every way a signal ends velkon-cli and the window gives the serial line back as it was found:
// Ctrl-C, kill, a closed terminal, a closed pipe. The real programs run as child processes on the
// simulator's pseudo-terminal, and the test looks at the line's settings after they ended.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <string>

#include "programs/programs_fixture.h"

namespace velkon::test {
namespace {

struct Ending {
    const char* name;
    int signal;
    bool by_closing_the_pipe;  // the reader of the output goes away (`| head -n1`)
};

void PrintTo(const Ending& e, std::ostream* os) {
    *os << e.name;
}

constexpr Ending kEndings[] = {
    {"interrupt", SIGINT, false},
    {"terminate", SIGTERM, false},
    {"hangup", SIGHUP, false},
    {"closed_pipe", SIGPIPE, true},
};

std::string ending_name(const ::testing::TestParamInfo<Ending>& info) {
    return info.param.name;
}

class CliEndsBySignal : public ::testing::TestWithParam<Ending> {};

// The readings go on for as long as the unit answers, so the signal comes while the port is open.
// The program ends the way the signal would end it (status 128 + N in a shell).
TEST_P(CliEndsBySignal, GivesTheLineBackAndEndsAsTheSignalWould) {
    const Ending& ending = GetParam();
    KnownLine line;
    OutputPipe out;
    TempDir folder;
    const auto err = folder.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ChildProcess cli(
        {.args = {program_path("velkon-cli"), "readings", line.path(), "--count", "100000"},
         .out_fd = out.write.get(),
         .err_fd = err_fd.get()});
    ASSERT_TRUE(cli.started());
    out.write.reset();
    ASSERT_TRUE(line.in_use());
    if (ending.by_closing_the_pipe) {
        EXPECT_NE(out.first_line(kProgramEnds).find("Уровень"), std::string::npos);
        out.read.reset();
    } else {
        ASSERT_TRUE(cli.send(ending.signal));
    }
    const auto status = cli.wait(kProgramEnds);
    ASSERT_TRUE(status) << "velkon-cli did not end";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == ending.signal)
        << describe_wait_status(*status) << "\n"
        << content_of(err);
    line.expect_given_back();
}

INSTANTIATE_TEST_SUITE_P(Signals, CliEndsBySignal, ::testing::ValuesIn(kEndings), ending_name);

// The window: the environment a desktop gives it, a program folder of its own.
Launch window_launch(const TempDir& home, std::vector<std::string> args, int err_fd) {
    args.insert(args.begin(), program_path("velkon-configurator"));
    return {.args = std::move(args),
            .env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.path().string(),
                    "XDG_DATA_HOME=" + (home.path() / "data").string(),
                    "XDG_RUNTIME_DIR=" + home.path().string()},
            .err_fd = err_fd};
}

class WindowEndsBySignal : public ::testing::TestWithParam<Ending> {};

// The window ends on a signal as it does when closed: the link is closed first, and it leaves
// with status 0.
TEST_P(WindowEndsBySignal, GivesTheLineBackAndEndsProperly) {
    const Ending& ending = GetParam();
    KnownLine line;
    TempDir home;
    const auto err = home.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    Launch launch = window_launch(home, {"--open", line.path()}, err_fd.get());
    launch.env.push_back("VELKON_EXTRA_PORTS=" + line.path());
    ChildProcess window(launch);
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(line.in_use()) << content_of(err);
    ASSERT_TRUE(window.send(ending.signal));
    const auto status = window.wait(kProgramEnds);
    ASSERT_TRUE(status) << "the window did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << describe_wait_status(*status) << "\n"
        << content_of(err);
    line.expect_given_back();
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowEndsBySignal, ::testing::ValuesIn(kEndings), ending_name);

// A start-up box (here «Error#76»: a file where the folder `base` belongs) waits for the user
// before the window's event loop runs; a signal ends the program there too. The signal is sent at
// once and waits, blocked, until the program takes it over, so it is handled while the box is
// the only thing running.
TEST(WindowEndsBySignal, EvenWhileTheStartUpBoxIsOpen) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        TempDir home;
        home.write_file("data/velkon-configurator/base", "not a folder");
        const auto err = home.path() / "err";
        UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        Launch launch = window_launch(home, {}, err_fd.get());
        launch.end_signals_blocked = true;
        ChildProcess window(launch);
        ASSERT_TRUE(window.started());
        ASSERT_TRUE(window.send(signal));
        const auto status = window.wait(kProgramEnds);
        ASSERT_TRUE(status) << "the window did not end";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << describe_wait_status(*status) << "\n"
            << content_of(err);
    }
}

}  // namespace
}  // namespace velkon::test
