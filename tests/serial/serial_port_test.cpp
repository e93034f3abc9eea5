// The serial driver on a pseudo-terminal pair: the master side plays the device.
#include "serial/serial_port.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

#include "serial/posix_line.h"
#include "support/test_support.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::PtyPair;
using test::TempDir;

// A pattern in which every byte value occurs and neighbours differ.
std::string pattern(std::size_t size, int start = 0) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) out.push_back(static_cast<char>((start + i * 7) % 256));
    return out;
}

template <typename F>
Clock::duration time_of(F&& action) {
    const auto start = Clock::now();
    action();
    return Clock::now() - start;
}

class OpenSerialPort : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << pty.error();
        ASSERT_TRUE(port->OpenPort(pty.slave_path(), kDeviceLine))
            << describe_open_error(port->last_open_error(), pty.slave_path());
    }

    PtyPair pty;
    std::unique_ptr<SerialPort> port = make_serial_port();
};

TEST_F(OpenSerialPort, PassesEveryByteValueBothWays) {
    // Bytes a terminal would act on in cooked mode are among them: NUL, 0x03 (interrupt),
    // 0x04 (end of file), XON/XOFF, CR and LF, 0x3E, 0x7F, 0x80, 0xFF.
    const std::string frame("\x3E\x00\x03\x04\x11\x13\x0D\x0A\x7F\x80\xFF\x3E", 12);
    ASSERT_TRUE(pty.write_master(frame));
    EXPECT_EQ(port->ReadPort(), frame);

    const std::string all = pattern(256);
    EXPECT_EQ(port->WritePort(all), 256);
    EXPECT_EQ(pty.read_master(256), all);
}

TEST_F(OpenSerialPort, ReadTakesAtMost255BytesAndLeavesTheRest) {
    const std::string data = pattern(300, 1);
    ASSERT_TRUE(pty.write_master(data));
    EXPECT_EQ(port->ReadPort(), data.substr(0, 255));
    EXPECT_EQ(port->ReadPort(), data.substr(255));
}

// A flood leaves more waiting than one read takes; what is left beyond one read can answer no
// request any more and goes, so the next answer is read as soon as it comes. The rest of one
// answer longer than a read stays for the next read.
TEST_F(OpenSerialPort, InputBeyondOneReadIsDiscardedTheRestOfOneAnswerKept) {
    ASSERT_TRUE(pty.write_master(pattern(300, 1)));
    EXPECT_EQ(port->ReadPort().size(), 255u);
    EXPECT_EQ(port->DiscardInputBeyond(255), 0u);
    EXPECT_EQ(port->ReadPort(), pattern(300, 1).substr(255));

    ASSERT_TRUE(pty.write_master(pattern(3000, 2)));
    EXPECT_EQ(port->ReadPort().size(), 255u);
    EXPECT_GT(port->DiscardInputBeyond(255), 255u);
    const std::string answer("\x3E\x01\xF0\x10", 4);
    ASSERT_TRUE(pty.write_master(answer));
    EXPECT_EQ(port->ReadPort(), answer);
}

class ChunkedWrite : public OpenSerialPort, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(ChunkedWrite, AllBytesArriveInOrderAndTheTotalIsReturned) {
    const std::string data = pattern(GetParam(), 3);
    EXPECT_EQ(port->WritePort(data), static_cast<int>(data.size()));
    EXPECT_EQ(pty.read_master(data.size()), data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChunkedWrite, ::testing::Values(1, 255, 256, 510, 600));

TEST_F(OpenSerialPort, EmptyWriteSendsNothing) {
    EXPECT_EQ(port->WritePort(""), 0);
    EXPECT_EQ(pty.read_master_until_quiet(50ms, 500ms), "");
}

TEST_F(OpenSerialPort, SilentReadReturnsEmptyAfterAboutAQuarterSecond) {
    std::string got = "unset";
    const auto took = time_of([&] { got = port->ReadPort(); });
    EXPECT_EQ(got, "");
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 1s);
}

TEST_F(OpenSerialPort, ReadReturnsSoonAfterTheLineFallsSilent) {
    ASSERT_TRUE(pty.write_master("\x3E\x01\xF0"));
    std::string got;
    const auto took = time_of([&] { got = port->ReadPort(); });
    EXPECT_EQ(got, "\x3E\x01\xF0");
    EXPECT_LT(took, 200ms);  // 20 ms of silence ends it, not the quarter-second limit
}

TEST_F(OpenSerialPort, ReadWaitingForBytesReturnsThemWhenTheyCome) {
    auto read = std::async(std::launch::async, [&] { return port->ReadPort(); });
    ASSERT_TRUE(pty.write_master("\x3E\xCA\xA0"));
    EXPECT_EQ(read.get(), "\x3E\xCA\xA0");
}

TEST_F(OpenSerialPort, FlushWithNothingQueuedReturnsAndLosesNothing) {
    ASSERT_EQ(port->WritePort("abc"), 3);
    const auto took = time_of([&] { port->FlushPort(); });
    EXPECT_LT(took, 1s);
    EXPECT_EQ(pty.read_master(3), "abc");
}

TEST_F(OpenSerialPort, HangUpEndsReadsAtOnceAndFailsWrites) {
    pty.close_master();  // the adapter is unplugged
    std::string got = "unset";
    const auto first = time_of([&] { got = port->ReadPort(); });
    EXPECT_EQ(got, "");
    EXPECT_LT(first, 200ms);
    EXPECT_TRUE(port->hung_up());
    EXPECT_TRUE(port->is_open());  // until the caller closes it
    EXPECT_EQ(port->WritePort("\x31\x01\xF0\xC5"), 0);

    // Never spins and never waits: a hundred reads take far less than one silent read.
    const auto hundred = time_of([&] {
        for (int i = 0; i < 100; ++i) got += port->ReadPort();
    });
    EXPECT_EQ(got, "");
    EXPECT_LT(hundred, 200ms);
    port->FlushPort();
    port->ClosePort();
    EXPECT_FALSE(port->is_open());
}

TEST_F(OpenSerialPort, HangUpDuringAWaitingReadEndsIt) {
    std::promise<void> reading;
    auto read = std::async(std::launch::async, [&] {
        reading.set_value();
        const auto start = Clock::now();
        const std::string got = port->ReadPort();
        return std::make_pair(got, Clock::now() - start);
    });
    reading.get_future().wait();
    pty.close_master();
    const auto [got, took] = read.get();
    EXPECT_EQ(got, "");
    EXPECT_LT(took, 200ms);
    EXPECT_TRUE(port->hung_up());
}

TEST_F(OpenSerialPort, WriteAfterHangUpReportsFailure) {
    pty.close_master();
    EXPECT_EQ(port->WritePort("\x31\x01\xF0\xC5"), 0);
    EXPECT_TRUE(port->hung_up());
}

TEST_F(OpenSerialPort, CloseFromAnotherThreadWakesAWaitingRead) {
    // The close may come before the read has begun to wait; repeating makes it very likely
    // that some rounds catch the read waiting, and every round must end promptly.
    for (int round = 0; round < 5; ++round) {
        if (round > 0) {
            ASSERT_TRUE(port->OpenPort(pty.slave_path(), kDeviceLine));
        }
        std::promise<void> reading;
        auto read = std::async(std::launch::async, [&] {
            reading.set_value();
            return port->ReadPort();
        });
        reading.get_future().wait();
        const auto took = time_of([&] { port->ClosePort(); });
        EXPECT_EQ(read.get(), "");
        EXPECT_LT(took, 200ms) << "round " << round;
        EXPECT_FALSE(port->is_open());
    }
}

TEST_F(OpenSerialPort, ReopenedPortReadsNormally) {
    port->ClosePort();
    port->ClosePort();  // twice is harmless
    ASSERT_TRUE(port->OpenPort(pty.slave_path(), kDeviceLine));
    EXPECT_FALSE(port->hung_up());
    ASSERT_TRUE(pty.write_master("xyz"));
    EXPECT_EQ(port->ReadPort(), "xyz");  // no wake-up left over from the close
}

TEST_F(OpenSerialPort, StaleInputIsDroppedOnOpen) {
    port->ClosePort();
    ASSERT_TRUE(pty.write_master("stale"));
    ASSERT_TRUE(port->OpenPort(pty.slave_path(), kDeviceLine));
    ASSERT_TRUE(pty.write_master("fresh"));
    EXPECT_EQ(port->ReadPort(), "fresh");
}

TEST_F(OpenSerialPort, SecondOpenOfAHeldPortIsRefusedAsBusy) {
    auto other = make_serial_port();
    EXPECT_FALSE(other->OpenPort(pty.slave_path(), kDeviceLine));
    EXPECT_EQ(other->last_open_error().failure, OpenFailure::Busy);
    EXPECT_FALSE(other->is_open());
    EXPECT_EQ(describe_open_error(other->last_open_error(), pty.slave_path()),
              "Порт занят другой программой.");

    // The holder is undisturbed, and once it lets go the port can be had.
    ASSERT_TRUE(pty.write_master("ok"));
    EXPECT_EQ(port->ReadPort(), "ok");
    port->ClosePort();
    EXPECT_TRUE(other->OpenPort(pty.slave_path(), kDeviceLine));
}

TEST_F(OpenSerialPort, OpeningAgainReleasesTheFirstDevice) {
    PtyPair second;
    ASSERT_TRUE(second.ok());
    ASSERT_TRUE(port->OpenPort(second.slave_path(), kDeviceLine));
    auto other = make_serial_port();
    EXPECT_TRUE(other->OpenPort(pty.slave_path(), kDeviceLine));  // not left locked
}

struct LineCase {
    LineSettings line;
    speed_t speed;
    tcflag_t cflags;  // among CSIZE | PARENB | PARODD | CSTOPB
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << line_settings_text(c.line);
}

class LineFraming : public ::testing::TestWithParam<LineCase> {};

constexpr tcflag_t kFrameBits = CSIZE | PARENB | PARODD | CSTOPB;

TEST_P(LineFraming, MakeRawTerminalSettings) {
    termios cooked{};
    cooked.c_iflag = ICRNL | IXON | IXOFF | INPCK;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    cooked.c_cflag = CS7 | PARENB | CRTSCTS | HUPCL;
    const auto tio = line_termios(GetParam().line, cooked);
    ASSERT_TRUE(tio.has_value());
    EXPECT_EQ(::cfgetospeed(&*tio), GetParam().speed);
    EXPECT_EQ(::cfgetispeed(&*tio), GetParam().speed);
    EXPECT_EQ(tio->c_cflag & kFrameBits, GetParam().cflags);
    EXPECT_EQ(tio->c_cflag & (CLOCAL | CREAD | CRTSCTS), CLOCAL | CREAD);
    EXPECT_EQ(tio->c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio->c_iflag & (IXON | IXOFF | ICRNL | INPCK), 0u);
    EXPECT_EQ(tio->c_oflag & OPOST, 0u);
    EXPECT_EQ(tio->c_cc[VMIN], 1);
    EXPECT_EQ(tio->c_cc[VTIME], 0);
}

// A pseudo-terminal keeps the speed and the stop bits (it forces 8 data bits and no parity).
TEST_P(LineFraming, ReachTheTerminal) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(pty.slave_path(), GetParam().line));
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.slave_fd(), &tio), 0);
    EXPECT_EQ(::cfgetospeed(&tio), GetParam().speed);
    EXPECT_EQ(tio.c_cflag & CSTOPB, GetParam().cflags & CSTOPB);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | ICRNL), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineFraming,
    ::testing::Values(LineCase{kDeviceLine, B19200, CS8},
                      LineCase{{9600, Parity::Even, 7, 2}, B9600, CS7 | PARENB | CSTOPB},
                      LineCase{{115200, Parity::Odd, 8, 1}, B115200, CS8 | PARENB | PARODD},
                      LineCase{{19200, Parity::None, 5, 1}, B19200, CS5},
                      LineCase{{110, Parity::None, 6, 2}, B110, CS6 | CSTOPB}));

class BadFraming : public ::testing::TestWithParam<LineSettings> {};

TEST_P(BadFraming, IsAConfigurationFailureWithTheMessage) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort(pty.slave_path(), GetParam()));
    EXPECT_FALSE(port->is_open());
    const OpenError& error = port->last_open_error();
    EXPECT_EQ(error.failure, OpenFailure::Configuration);
    const std::string message = "Unable to build Comm DCB " + line_settings_text(GetParam()) +
                                " Error: " + std::to_string(EINVAL);
    EXPECT_EQ(error.config_message, message);
    EXPECT_EQ(describe_open_error(error, pty.slave_path()), message);
    // The failed attempt left nothing locked.
    EXPECT_TRUE(port->OpenPort(pty.slave_path(), kDeviceLine));
}

INSTANTIATE_TEST_SUITE_P(Lines, BadFraming,
                         ::testing::Values(LineSettings{0, Parity::None, 8, 1},
                                           LineSettings{12345, Parity::None, 8, 1},
                                           LineSettings{19200, Parity::None, 9, 1},
                                           LineSettings{19200, Parity::None, 4, 1},
                                           LineSettings{19200, Parity::None, 8, 3},
                                           LineSettings{19200, Parity::None, 8, 0},
                                           LineSettings{19200, static_cast<Parity>('x'), 8, 1}));

TEST(LineSettingsText, NamesTheFramingAsTheDriversMessagesDo) {
    EXPECT_EQ(line_settings_text(kDeviceLine), "19200,n,8,1");
    EXPECT_EQ(line_settings_text({9600, Parity::Odd, 7, 2}), "9600,o,7,2");
}

TEST(SerialPortClosed, MissingDeviceIsNoSuchDeviceAndLeavesThePortClosed) {
    TempDir dir;
    const std::string path = (dir.path() / "ttyUSB9").string();
    auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort(path, kDeviceLine));
    EXPECT_EQ(port->last_open_error().failure, OpenFailure::NoSuchDevice);
    EXPECT_EQ(port->last_open_error().error_code, ENOENT);
    EXPECT_FALSE(port->is_open());
    EXPECT_EQ(describe_open_error(port->last_open_error(), path), "Устройство не найдено.");
    port->ClosePort();
    port->FlushPort();
    EXPECT_EQ(port->ReadPort(), "");
    EXPECT_EQ(port->WritePort("x"), 0);
}

TEST(SerialPortClosed, AnOverlongPathIsExplainedInRussian) {
    const std::string path = "/dev/" + std::string(5000, 'x');
    auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort(path, kDeviceLine));
    EXPECT_EQ(describe_open_error(port->last_open_error(), path), "Устройство не найдено.");
}

TEST(SerialPortClosed, NeverOpenedPortAnswersAtOnce) {
    auto port = make_serial_port();
    const auto took = time_of([&] { EXPECT_EQ(port->ReadPort(), ""); });
    EXPECT_LT(took, 100ms);
    EXPECT_EQ(port->WritePort("abc"), 0);
    EXPECT_FALSE(port->hung_up());
    EXPECT_EQ(port->last_open_error().failure, OpenFailure::None);
}

TEST(SerialPortClosed, NonTerminalIsNotSerialAndNamesItsGroup) {
    TempDir dir;
    const auto path = dir.write_file("plain", "not a terminal").string();
    auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort(path, kDeviceLine));
    EXPECT_EQ(port->last_open_error().failure, OpenFailure::NotSerial);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(port->last_open_error().device_group, owner->gr_name);
}

struct ReasonCase {
    OpenError error;
    const char* text;
};

class OpenErrorText : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(OpenErrorText, IsPlainRussian) {
    EXPECT_EQ(describe_open_error(GetParam().error, "/dev/ttyUSB0"), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, OpenErrorText,
    ::testing::Values(
        ReasonCase{{OpenFailure::None, 0, "", ""}, ""},
        ReasonCase{{OpenFailure::NoSuchDevice, ENOENT, "", ""}, "Устройство не найдено."},
        ReasonCase{{OpenFailure::PermissionDenied, EACCES, "uucp", ""},
                   "Нет прав на доступ к /dev/ttyUSB0. Добавьте пользователя в группу uucp "
                   "командой sudo usermod -aG uucp $USER и войдите в систему заново."},
        ReasonCase{{OpenFailure::PermissionDenied, EACCES, "", ""},
                   "Нет прав на доступ к /dev/ttyUSB0. Добавьте пользователя в группу dialout "
                   "командой sudo usermod -aG dialout $USER и войдите в систему заново."},
        ReasonCase{{OpenFailure::PermissionDenied, EACCES, "root", ""},
                   "Нет прав на доступ к /dev/ttyUSB0. Устройство доступно только администратору."},
        ReasonCase{{OpenFailure::Busy, EBUSY, "dialout", ""}, "Порт занят другой программой."},
        ReasonCase{{OpenFailure::NotSerial, ENOTTY, "", ""}, "Это не последовательный порт."},
        ReasonCase{{OpenFailure::Configuration, 22, "", "Unable to set Comm DCB x Error: 22"},
                   "Unable to set Comm DCB x Error: 22"},
        ReasonCase{{OpenFailure::Other, 28, "", ""}, "Системная ошибка 28."}));

}  // namespace
}  // namespace velkon
