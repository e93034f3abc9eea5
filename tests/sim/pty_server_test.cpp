// The simulator end to end on a pseudo-terminal, as the configurator sees it: through the server
// in this process, and through the velkon-sim executable.
#include "sim/pty_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "serial/serial_port.h"
#include "sim/sim_test_util.h"

extern char** environ;

namespace velkon::sim {
namespace {

using namespace simtest;
using std::chrono::milliseconds;

const std::string kReadings = bytes("31 01 F0 C5");
const std::string kConfigRead = bytes("3E CA A2 00 00 00 00 00 AC");

// What the line does after a hang-up: poll reports it, and reads fail or see the end.
void expect_hung_up(int fd) {
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    char byte;
    const ssize_t got = ::read(fd, &byte, 1);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << "read gave " << got;
}

class SimPty : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << server.error();
        client = std::make_unique<LineClient>(server.slave_path());
        ASSERT_TRUE(client->ok());
    }

    std::string clean(const std::string& request) {
        Device copy = server.device();
        copy.faults() = {};
        copy.advance(ServerOptions{}.time_per_request);
        return *copy.respond(request);
    }

    PtyServer server;
    std::unique_ptr<LineClient> client;
};

TEST_F(SimPty, LineIsRawAndTakesTheClientsSettings) {
    termios tio{};
    ASSERT_EQ(::tcgetattr(client->fd(), &tio), 0);
    EXPECT_FALSE(tio.c_lflag & (ECHO | ICANON | ISIG));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(::cfgetospeed(&tio), B19200);
    tio.c_cflag |= CSTOPB;
    EXPECT_EQ(::tcsetattr(client->fd(), TCSANOW, &tio), 0);
    EXPECT_EQ(::tcflush(client->fd(), TCIOFLUSH), 0);
}

TEST_F(SimPty, AnswersRequestsInTurnAndIgnoresGarbage) {
    const std::string expected = clean(kReadings);
    ASSERT_TRUE(client->send(bytes("00 FF 3E") + kReadings));
    EXPECT_EQ(spaced_hex(client->receive(22)), spaced_hex(expected));
    ASSERT_TRUE(client->send(bytes("3E CA A0 D6")));
    const std::string live = client->receive(60);
    ASSERT_EQ(live.size(), 60u);
    EXPECT_EQ(at(live, 3), 0xA0);
    EXPECT_TRUE(server.wait_requests(2, milliseconds(3000)));
    EXPECT_EQ(server.requests(), 2u);
}

TEST_F(SimPty, WrittenConfigurationIsVisibleToTheTest) {
    std::string write = bytes("3E CA A3 16");
    write += std::string("m2m.example") + std::string(19, '\0');
    write += std::string(161 - 30, '\0');
    write += bytes("A5 36 5B");
    write = Control_summ(write);
    ASSERT_EQ(write.size(), 169u);
    ASSERT_TRUE(client->send(write));
    EXPECT_EQ(client->receive(4), framed("3E CA A3"));
    ASSERT_TRUE(server.wait_requests(1, milliseconds(3000)));
    EXPECT_EQ(server.device().tracker().config.apn, "m2m.example");
    EXPECT_EQ(server.with_device([](Device& d) { return d.tracker().config.period; }), 0);
}

// A silent request leaves nothing on the line: the next bytes read are the next answer.
TEST_F(SimPty, FaultsChangeWhileRunning) {
    server.set_faults({.silent = true});
    ASSERT_TRUE(client->send(kReadings));
    ASSERT_TRUE(server.wait_requests(1, milliseconds(3000)));
    server.set_faults({.wrong_check = true});
    ASSERT_TRUE(client->send(kReadings));
    const std::string got = client->receive(22);
    ASSERT_EQ(got.size(), 22u);
    EXPECT_EQ(at(got, 3), 0xF0);
    EXPECT_NE(check_byte(got), 0);
    EXPECT_TRUE(server.faults().wrong_check);
}

TEST_F(SimPty, HangUpAfterNRequestsUnplugsTheLine) {
    server.set_faults({.hangup_after = 2});
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(client->send(kReadings));
        EXPECT_EQ(client->receive(22).size(), 22u) << "answer " << i + 1;
    }
    expect_hung_up(client->fd());
    EXPECT_TRUE(server.hung_up());

    server.set_faults({});
    ASSERT_TRUE(server.start()) << "plugged in again";
    LineClient again(server.slave_path());
    ASSERT_TRUE(again.send(kReadings));
    EXPECT_EQ(again.receive(22).size(), 22u);
}

TEST_F(SimPty, StopUnplugsTheLine) {
    server.stop();
    expect_hung_up(client->fd());
}

// Timing faults: only lower bounds, which hold however loaded the machine is.
TEST_F(SimPty, SplitAnswerComesInTwoPartsAfterTheGap) {
    server.set_faults({.split = true, .split_gap = milliseconds(150)});
    const std::string expected = clean(kReadings);
    const auto start = Clock::now();
    ASSERT_TRUE(client->send(kReadings));
    EXPECT_EQ(client->receive(22), expected);
    EXPECT_GE(Clock::now() - start, milliseconds(150));
}

TEST_F(SimPty, DelayComesBeforeTheAnswer) {
    server.set_faults({.delay = milliseconds(120)});
    const auto start = Clock::now();
    ASSERT_TRUE(client->send(kReadings));
    EXPECT_EQ(client->receive(22).size(), 22u);
    EXPECT_GE(Clock::now() - start, milliseconds(120));
}

TEST_F(SimPty, PacingTakesTheLinesTime) {
    server.set_faults({.pacing = true});
    const auto start = Clock::now();
    ASSERT_TRUE(client->send(kConfigRead));
    EXPECT_EQ(client->receive(172).size(), 172u);
    EXPECT_GE(Clock::now() - start, milliseconds(85)) << "172 bytes at 19200 baud take 90 ms";
}

TEST_F(SimPty, OversizeAnswerArrivesWhole) {
    server.set_faults({.oversize = 300});
    ASSERT_TRUE(client->send(kReadings));
    const std::string got = client->receive(300);
    ASSERT_EQ(got.size(), 300u);
    EXPECT_EQ(check_byte(got), 0);
}

// A flood bigger than the line's buffers leaves as the client reads, in order, and the device
// still answers between the noise; dropping the rest empties the queue.
TEST_F(SimPty, RawBytesLeaveInOrderBetweenAnswers) {
    std::string noise;
    for (int i = 0; i < 200'000; ++i) noise.push_back(static_cast<char>(i * 7 % 251));
    server.send_raw(noise);
    EXPECT_EQ(client->receive(noise.size(), milliseconds(10'000)), noise);
    // The server counts the bytes as gone once its write returns, which can be a moment after
    // the client has read them.
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(5'000);
    while (server.raw_pending() != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_EQ(server.raw_pending(), 0u);

    ASSERT_TRUE(client->send(kReadings));
    EXPECT_EQ(client->receive(22).size(), 22u);

    server.send_raw(noise);
    EXPECT_GT(client->receive(1000).size(), 0u);
    server.drop_raw();
    EXPECT_EQ(server.raw_pending(), 0u);
}

// --- the executable ---------------------------------------------------------------------------

std::string sim_path() {
    if (const char* env = std::getenv("VELKON_SIM")) return env;
    // Run outside CTest: the executable sits in the build folder above this test's.
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() /
            "velkon-sim")
        .string();
}

// velkon-sim with its standard output and standard error in pipes.
class SimProcess {
  public:
    // With `input`, the standard input is a pipe that send_input() writes to.
    explicit SimProcess(std::vector<std::string> args, bool input = false) {
        int out[2], err[2], in[2] = {-1, -1};
        if (::pipe(out) != 0 || ::pipe(err) != 0) return;
        if (input && ::pipe2(in, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        args.insert(args.begin(), sim_path());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        if (input) ::close(in[0]);
        in_fd_ = in[1];
        out_ = ::fdopen(out[0], "r");
        err_fd_ = err[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (out_) std::fclose(out_);
        if (err_fd_ >= 0) ::close(err_fd_);
        if (in_fd_ >= 0) ::close(in_fd_);
    }
    bool send_input(std::string_view text) {
        return in_fd_ >= 0 &&
               ::write(in_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    bool started() const { return pid_ > 0 && out_; }
    std::string first_line() {
        char line[256] = {};
        if (!std::fgets(line, sizeof line, out_)) return {};
        std::string s(line);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    void signal(int sig) { ::kill(pid_, sig); }
    // Waits for the end; returns the exit status, or -1 when it did not exit normally.
    int wait() {
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Everything written to standard error (after the process ended).
    std::string error_output() {
        std::string all;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(err_fd_, buffer, sizeof buffer)) > 0) all.append(buffer, n);
        return all;
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
    int err_fd_ = -1;
    int in_fd_ = -1;
};

TEST(SimExecutable, AnswersLogsAndHangsUpAfterN) {
    SimProcess sim({"-v", "--no-pace", "--firmware", "130", "--hangup-after", "2"});
    ASSERT_TRUE(sim.started()) << sim_path();
    const std::string path = sim.first_line();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    LineClient client(path);
    ASSERT_TRUE(client.ok());

    ASSERT_TRUE(client.send(bytes("31 00 FC A2")));
    const std::string version = client.receive(10);
    ASSERT_EQ(version.size(), 10u);
    EXPECT_EQ(at(version, 8), 130);
    ASSERT_TRUE(client.send(kReadings));
    EXPECT_EQ(client.receive(22).size(), 22u);
    expect_hung_up(client.fd());

    EXPECT_EQ(sim.wait(), 0);
    const std::string log = sim.error_output();
    EXPECT_NE(log.find("<- 31 00 FC A2"), std::string::npos) << log;
    EXPECT_NE(log.find("-> " + spaced_hex(version)), std::string::npos) << log;
}

TEST(SimExecutable, PourLinesOnStandardInputFillTheTank) {
    SimProcess sim({"--no-pace", "--tank", "100:cylinder"}, true);
    ASSERT_TRUE(sim.started()) << sim_path();
    const std::string path = sim.first_line();
    LineClient client(path);
    ASSERT_TRUE(client.ok()) << path;
    auto level = [&client]() -> int {
        if (!client.send(kReadings)) return -1;
        const std::string answer = client.receive(22);
        return answer.size() == 22 ? at(answer, 5) + 256 * at(answer, 6) : -1;
    };
    EXPECT_LE(level(), 1);  // the tank starts empty: noise only
    ASSERT_TRUE(sim.send_input("pour 30\nspill\npour 20\n"));
    // Half the volume of a lying cylinder stands at half its height once the slosh is gone.
    int last = -1;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::abs(last - 512) > 2 && std::chrono::steady_clock::now() < give_up) last = level();
    EXPECT_NEAR(last, 512, 2);
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 0);
    const std::string log = sim.error_output();
    EXPECT_NE(log.find("налито 20 л, в баке 50 из 100 л"), std::string::npos) << log;
    EXPECT_NE(log.find("неизвестная команда \"spill\""), std::string::npos) << log;
}

TEST(SimExecutable, StopsCleanlyOnSigterm) {
    SimProcess sim({});
    ASSERT_TRUE(sim.started()) << sim_path();
    const std::string path = sim.first_line();
    LineClient client(path);
    ASSERT_TRUE(client.ok()) << path;
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(), 0);
    expect_hung_up(client.fd());
}

TEST(SimExecutable, RefusesABadOption) {
    SimProcess sim({"--silent-every", "zero"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.first_line(), "");
    EXPECT_EQ(sim.wait(), 2);
    EXPECT_NE(sim.error_output().find("--silent-every"), std::string::npos);
}

// The code options read hexadecimal without "0x" and decimal; the log shows the echo apart from
// the answer, so an echoed request left unanswered does not read as answered.
TEST(SimExecutable, LineFaultOptionsAndTheirLog) {
    SimProcess sim({"-v", "--no-pace", "--partial-echo=3", "--ignore-code", "A2",
                    "--wrong-check-code", "240", "--requests", "2"});
    ASSERT_TRUE(sim.started()) << sim_path();
    LineClient client(sim.first_line());
    ASSERT_TRUE(client.ok());

    ASSERT_TRUE(client.send(kConfigRead));
    EXPECT_EQ(spaced_hex(client.receive(3)), "3E CA A2");
    ASSERT_TRUE(client.send(kReadings));
    // An answer to the configuration read would have come before this echo.
    const std::string next = client.receive(3 + 22);
    ASSERT_EQ(next.size(), 25u);
    EXPECT_EQ(spaced_hex(next.substr(0, 3)), "31 01 F0");
    EXPECT_EQ(at(next, 6), 0xF0);
    EXPECT_NE(check_byte(next.substr(3)), 0);

    EXPECT_EQ(sim.wait(), 0);
    const std::string log = sim.error_output();
    EXPECT_NE(log.find("-> [echo 3E CA A2] (no answer)"), std::string::npos) << log;
    EXPECT_NE(log.find("-> [echo 31 01 F0] " + spaced_hex(next.substr(3))), std::string::npos)
        << log;
}

TEST(SimExecutable, RefusesBadLineFaultValues) {
    const std::pair<const char*, const char*> kBad[] = {
        {"--ignore-code", "256"},     {"--ignore-code", "0x100"}, {"--ignore-code", "-1"},
        {"--wrong-check-code", "G1"}, {"--wrong-check-code", ""}, {"--partial-echo", "0"},
        {"--partial-echo", "many"},
    };
    for (const auto& [option, value] : kBad) {
        SCOPED_TRACE(std::string(option) + " " + value);
        SimProcess sim({option, value});
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.first_line(), "");
        EXPECT_EQ(sim.wait(), 2);
        EXPECT_NE(sim.error_output().find(std::string("недопустимое значение ") + option),
                  std::string::npos);
    }
}

// --- the configurator's own serial driver on the simulator's line ------------------------------

// Reads with the driver until `count` bytes came or the deadline passed.
std::string read_with_driver(SerialPort& port, std::size_t count) {
    std::string got;
    const auto deadline = Clock::now() + 3s;
    while (got.size() < count && Clock::now() < deadline && !port.hung_up()) got += port.ReadPort();
    return got;
}

TEST(SimWithDriver, ExchangeAndUnplug) {
    PtyServer server;
    server.set_faults({.hangup_after = 2, .pacing = true});
    ASSERT_TRUE(server.start()) << server.error();
    auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(server.slave_path(), kDeviceLine));

    EXPECT_EQ(port->WritePort(kConfigRead), static_cast<int>(kConfigRead.size()));
    const std::string config = read_with_driver(*port, 172);
    ASSERT_EQ(config.size(), 172u);
    EXPECT_EQ(text(config, 80, 25), "203.0.113.10");

    EXPECT_EQ(port->WritePort(kReadings), static_cast<int>(kReadings.size()));
    EXPECT_EQ(read_with_driver(*port, 22).size(), 22u);
    read_with_driver(*port, 1);  // the line drops after the second answer
    EXPECT_TRUE(port->hung_up());
    EXPECT_EQ(port->WritePort(kReadings), 0);
    port->ClosePort();
}

}  // namespace
}  // namespace velkon::sim
