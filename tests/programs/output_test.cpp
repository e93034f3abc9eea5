// Output that cannot be written is an error, never lost in silence: a file-size limit (ulimit -f,
// the real one, set in the child) and a full disk (/dev/full). No program is killed by the limit
// halfway through a file, and none leaves a half file or a temporary behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "programs/pdf_words.h"
#include "programs/programs_fixture.h"

namespace velkon::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    return names;
}

struct Outcome {
    std::optional<int> status;
    std::string err;
};

// velkon-cli against the simulator, its output to `out` (a path; "" for /dev/null).
Outcome run_cli(std::vector<std::string> args, const fs::path& out,
                std::optional<rlim_t> file_size_limit = std::nullopt,
                std::vector<std::string> env = {}) {
    args.insert(args.begin(), program_path("velkon-cli"));
    // A pipe: a file would be held to the limit too. The messages are short enough for its buffer.
    OutputPipe err;
    UniqueFd out_fd;
    if (!out.empty())
        out_fd.reset(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ChildProcess cli({.args = std::move(args),
                      .env = std::move(env),
                      .file_size_limit = file_size_limit,
                      .out_fd = out_fd ? out_fd.get() : -1,
                      .err_fd = err.write.get()});
    err.write.reset();
    Outcome run{cli.wait(kProgramEnds), {}};
    run.err = err.rest();
    return run;
}

void expect_exit(const Outcome& run, int expected) {
    ASSERT_TRUE(run.status) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(*run.status) && WEXITSTATUS(*run.status) == expected)
        << describe_wait_status(*run.status) << "\n"
        << run.err;
}

// The profile is larger than the limit: the file write fails with EFBIG, which is reported, and
// neither the file nor its temporary is left.
TEST(FileSizeLimit, CliProfileFileIsAnErrorAndLeavesNothing) {
    sim::PtyServer server;
    ASSERT_TRUE(server.start()) << server.error();
    TempDir folder;
    const fs::path target = folder.make_dir("out") / "a.json";
    const Outcome run =
        run_cli({"config", "read", server.slave_path(), "-o", target.string()}, {}, 64);
    expect_exit(run, 1);
    EXPECT_NE(run.err.find("«" + target.string() + "»: превышен допустимый размер файла"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(names_in(target.parent_path()), std::vector<std::string>{});
}

// A fleet's workbook larger than the limit: it is made in a scratch folder under the temporary
// folder before it replaces the report, and neither is left behind; the failure is worded as any
// file's.
TEST(FileSizeLimit, CliFleetWorkbookIsAnErrorAndLeavesNothing) {
    sim::PtyServer server;
    ASSERT_TRUE(server.start()) << server.error();
    TempDir folder;
    const fs::path target = folder.make_dir("out") / "парк.xlsx";
    const fs::path temporary = folder.make_dir("tmp");
    const Outcome run = run_cli({"fleet", "imei", server.slave_path(), "--report", target.string()},
                                {}, 2048, {"TMPDIR=" + temporary.string()});
    expect_exit(run, 1);
    EXPECT_NE(run.err.find("Не удалось записать отчёт в файл «" + target.string() +
                           "»: превышен допустимый размер файла"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(names_in(target.parent_path()), std::vector<std::string>{});
    EXPECT_EQ(names_in(temporary), std::vector<std::string>{});
}

TEST(FileSizeLimit, CliStandardOutputIsAnError) {
    sim::PtyServer server;
    ASSERT_TRUE(server.start()) << server.error();
    TempDir folder;
    const Outcome run = run_cli({"config", "read", server.slave_path()}, folder.path() / "out", 64);
    expect_exit(run, 1);
    EXPECT_NE(run.err.find("стандартный вывод: превышен допустимый размер файла"),
              std::string::npos)
        << run.err;
}

// The calibration report from a saved session, as a shell runs it: drawn offscreen with no
// display and no runtime folder, nothing but our own messages on the error output, and read back
// by an independent reader: every field there, nothing off the page, at most two pages even for a
// long table. Under a file-size limit smaller than the PDF it fails, saying so, leaving nothing.
TEST(TankReport, ASavedSessionsPdfReadsWholeOnItsPages) {
    TempDir folder;
    const fs::path session = folder.path() / "бак.tarirovka";
    {
        std::ofstream out(session);
        out << "velkon-tarirovka 1\nstarted=10.12.2026 09:15:30\nserial=4242\n"
               "imei=866795030012345\nvehicle=А123ВС 77, левый бак седельного тягача, "
               "колонна № 3\ninstaller=Петров Пётр Петрович\nfirmware=1.6.3\n"
               "notes=лежачий цилиндр с перегородкой посередине, заливная горловина сверху\n"
               "portion=5\ntank=400\nstart=0\nscale=4096\nsettle_seconds=12.5\n"
               "settle_band=1.5\n";
        for (int k = 0; k <= 80; ++k)
            out << "point=" << k * 5 << ";" << (k == 7 ? 10 : 20 + k * 50) << "\n";
        out << "end\n";
    }
    const fs::path pdf = folder.make_dir("out") / "бак.pdf";
    Outcome run = run_cli({"tank", "report", session.string(), "-o", pdf.string()}, {});
    expect_exit(run, 0);
    EXPECT_EQ(run.err, "");
    const PdfWords read = read_pdf_words(pdf);
    ASSERT_EQ(read.error, "");
    EXPECT_LE(read.pages.size(), 2u);
    const std::string first = read.pages[0].text();
    for (const char* shown : {"Тарировочная таблица бака", "колонна № 3", "Петров Пётр Петрович",
                              "10.12.2026", "4242", "1.6.3", "866795030012345", "400 л",
                              "заливная горловина сверху", "записывается среднее", "уровень упал"})
        EXPECT_NE(first.find(shown), std::string::npos) << shown << "\n" << first;
    // 20 points is about 7 mm: the printer's own margin.
    EXPECT_EQ(words_outside(read, 20), std::vector<std::string>{});

    fs::remove(pdf);
    run = run_cli({"tank", "report", session.string(), "-o", pdf.string()}, {}, 1024);
    expect_exit(run, 1);
    EXPECT_NE(run.err.find("«" + pdf.string() + "»: превышен допустимый размер файла"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(names_in(pdf.parent_path()), std::vector<std::string>{});
}

// The window's start writes the day file's header; under a limit smaller than the header the
// write fails, the start-up box says so, and no cut header stays behind. The program is ended by
// a signal sent at once, which it takes over before the day file is written and handles in the
// box's event loop.
TEST(FileSizeLimit, WindowLeavesNoHalfDayFile) {
    TempDir home;
    ChildProcess window({.args = {program_path("velkon-configurator")},
                         .env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.path().string(),
                                 "XDG_DATA_HOME=" + (home.path() / "data").string(),
                                 "XDG_RUNTIME_DIR=" + home.path().string()},
                         .file_size_limit = 16,
                         .end_signals_blocked = true});
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(window.send(SIGTERM));
    const auto status = window.wait(kProgramEnds);
    ASSERT_TRUE(status) << "the window did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << describe_wait_status(*status);
    EXPECT_EQ(names_in(home.path() / "data/velkon-configurator/base"), std::vector<std::string>{});
}

// A full disk behind the output. As root the test makes a device of its own that behaves like
// /dev/full, so that a program that wrongly replaced the device by a file could not harm the
// machine's.
struct FullDevice {
    TempDir folder;
    fs::path path = "/dev/full";
    FullDevice() {
        const fs::path own = folder.path() / "full";
        if (::mknod(own.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) path = own;
    }
    bool still_a_device() const {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    }
};

struct FullOutput {
    const char* name;
    std::vector<std::string> args;  // PORT, FULL: replaced
    bool to_standard_output;
};

void PrintTo(const FullOutput& o, std::ostream* os) {
    *os << o.name;
}

class CliOnFullDisk : public ::testing::TestWithParam<FullOutput> {};

TEST_P(CliOnFullDisk, ExitsOneNamingTheOutput) {
    sim::PtyServer server;
    ASSERT_TRUE(server.start()) << server.error();
    FullDevice full;
    TempDir folder;
    std::vector<std::string> args = GetParam().args;
    for (auto& a : args) {
        if (a == "PORT") a = server.slave_path();
        if (a == "FULL") a = full.path.string();
    }
    const Outcome run = run_cli(args, GetParam().to_standard_output ? full.path : fs::path());
    expect_exit(run, 1);
    const std::string named = GetParam().to_standard_output
                                  ? "стандартный вывод: на диске нет места"
                                  : "«" + full.path.string() + "»: на диске нет места";
    EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
    EXPECT_TRUE(full.still_a_device());
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, CliOnFullDisk,
    ::testing::Values(FullOutput{"imei", {"imei", "PORT"}, true},
                      FullOutput{"imei_json", {"imei", "PORT", "--json"}, true},
                      FullOutput{"readings", {"readings", "PORT", "--count", "3"}, true},
                      FullOutput{"config_read", {"config", "read", "PORT"}, true},
                      FullOutput{
                          "config_read_to_file", {"config", "read", "PORT", "-o", "FULL"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkon::test
