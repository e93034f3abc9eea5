// The Win32 serial driver against the simulator: the script that runs these tests maps COM1 to
// the simulator's pseudo-terminal (VELKON_TEST_COM) and COM2 to a second simulator that hangs up
// after its first answer (VELKON_TEST_HANGUP_COM); every other COM port is mapped to nothing.
#include "serial/serial_port_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "protocol/frame.h"
#include "serial/port_discovery.h"
#include "serial/port_discovery_win32.h"
#include "serial/serial_port.h"
#include "support/test_support.h"

namespace velkon {
namespace {

std::string port_from_env(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? value : "";
}

// The mapped port's name, or a failed test naming the variable the script must set.
#define REQUIRE_PORT(name, variable)                                    \
    const std::string name = port_from_env(variable);                   \
    ASSERT_FALSE(name.empty()) << variable                              \
                               << " is not set: run the tests through " \
                                  "scripts/test-windows"

const Frame kSensorPoll = make_frame({0x31, 0x01, 0xF0});

// Reads until an intact answer of the simulator's sensor has come, or a few empty reads.
std::string read_answer(SerialPort& port) {
    std::string received;
    for (int empty = 0; empty < 8;) {
        const std::string piece = port.ReadPort();
        if (piece.empty()) {
            ++empty;
            continue;
        }
        received += piece;
        if (received.size() >= 4 && check_byte(received) == 0) break;
    }
    return received;
}

TEST(Win32SerialPort, PollsTheSensorThroughTheMappedPort) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine))
        << describe_open_error(port->last_open_error(), com);
    EXPECT_TRUE(port->is_open());
    EXPECT_EQ(port->WritePort(kSensorPoll), 4);
    const std::string answer = read_answer(*port);
    ASSERT_GE(answer.size(), 4u);
    EXPECT_EQ(byte_at(answer, 0), 0x3E);
    EXPECT_EQ(byte_at(answer, 2), 0xF0);
    EXPECT_EQ(check_byte(answer), 0) << hex_pairs(answer);
    port->ClosePort();
    EXPECT_FALSE(port->is_open());
}

TEST(Win32SerialPort, NothingPendingReadsEmpty) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine));
    EXPECT_EQ(port->ReadPort(), "");
    EXPECT_FALSE(port->hung_up());
}

// Written in chunks of 255: the simulator discards what is not a request, the count is whole.
TEST(Win32SerialPort, LongWritesReturnTheWholeCount) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine));
    for (const std::size_t size : {255u, 256u, 600u}) {
        EXPECT_EQ(port->WritePort(std::string(size, '\x55')), static_cast<int>(size)) << size;
    }
    EXPECT_EQ(port->WritePort(""), 0);
}

TEST(Win32SerialPort, ASecondOpenReleasesTheFirstHandle) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine));
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine));
    port->ClosePort();
    // With the first handle leaked, the port would still be held (no sharing) here.
    const auto other = make_serial_port();
    EXPECT_TRUE(other->OpenPort(device_path_for(com), kDeviceLine))
        << describe_open_error(other->last_open_error(), com);
}

// Wine lets a second program open a port and maps unlisted COM numbers to a device that is no
// serial line, so the reasons are checked from the system's error codes.
TEST(Win32SerialPort, SystemErrorsBecomeReasonsTheUserCanActOn) {
    struct Row {
        unsigned long error;
        OpenFailure failure;
        const char* text;
    };
    const Row rows[] = {
        {ERROR_FILE_NOT_FOUND, OpenFailure::NoSuchDevice, "Устройство не найдено."},
        {ERROR_PATH_NOT_FOUND, OpenFailure::NoSuchDevice, "Устройство не найдено."},
        {ERROR_ACCESS_DENIED, OpenFailure::Busy, "Порт занят другой программой."},
        {ERROR_SHARING_VIOLATION, OpenFailure::Busy, "Порт занят другой программой."},
        {ERROR_GEN_FAILURE, OpenFailure::Other, "Системная ошибка 31."},
    };
    for (const Row& row : rows) {
        OpenError error;
        error.failure = failure_for_win32_error(row.error);
        error.error_code = static_cast<int>(row.error);
        EXPECT_EQ(error.failure, row.failure) << row.error;
        EXPECT_EQ(describe_open_error(error, "\\\\.\\COM3"), row.text) << row.error;
    }
}

TEST(Win32SerialPort, AMissingDeviceIsNotFound) {
    const auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort("\\\\.\\VelkonNoSuchDevice", kDeviceLine));
    EXPECT_FALSE(port->is_open());
    EXPECT_EQ(port->last_open_error().failure, OpenFailure::NoSuchDevice)
        << port->last_open_error().error_code;
    port->ClosePort();  // nothing open: does nothing
    EXPECT_FALSE(port->is_open());
}

// A plain file opens but takes no time-outs: the described message, and the handle is gone
// (the file, opened without sharing, can be deleted).
TEST(Win32SerialPort, SomethingNotSerialFailsAtTheTimeoutsAndIsReleased) {
    const test::TempDir dir;
    const auto file = dir.write_file("not-a-port", "x");
    const std::string path = file.string();
    const auto port = make_serial_port();
    EXPECT_FALSE(port->OpenPort(path, kDeviceLine));
    EXPECT_FALSE(port->is_open());
    const OpenError& error = port->last_open_error();
    EXPECT_EQ(error.failure, OpenFailure::Configuration);
    EXPECT_EQ(error.config_message, "Unable to set timeouts for port " + path +
                                        " Error: " + std::to_string(error.error_code));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
}

TEST(Win32SerialPort, BadSettingsGiveTheDescribedMessageAndCloseTheHandle) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    const LineSettings bad{19200, Parity::None, 9, 3};
    EXPECT_FALSE(port->OpenPort(device_path_for(com), bad));
    EXPECT_FALSE(port->is_open());
    const OpenError& error = port->last_open_error();
    EXPECT_EQ(error.failure, OpenFailure::Configuration);
    EXPECT_EQ(error.config_message,
              "Unable to build Comm DCB 19200,n,9,3 Error: " + std::to_string(error.error_code));
    // The handle went with the failure: the port can be opened again at once.
    const auto other = make_serial_port();
    EXPECT_TRUE(other->OpenPort(device_path_for(com), kDeviceLine));
}

TEST(Win32SerialPort, CloseEndsAReadRunningOnAnotherThread) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine));
    std::string received = "unset";
    std::thread reader([&] { received = port->ReadPort(); });
    port->ClosePort();
    reader.join();
    EXPECT_EQ(received, "");
    EXPECT_FALSE(port->is_open());
    EXPECT_EQ(port->ReadPort(), "");
    EXPECT_EQ(port->WritePort(kSensorPoll), 0);
}

TEST(Win32SerialPort, AHungUpLineFailsTheNextWrite) {
    REQUIRE_PORT(com, "VELKON_TEST_HANGUP_COM");
    const auto port = make_serial_port();
    ASSERT_TRUE(port->OpenPort(device_path_for(com), kDeviceLine))
        << describe_open_error(port->last_open_error(), com);
    ASSERT_EQ(port->WritePort(kSensorPoll), 4);
    EXPECT_EQ(check_byte(read_answer(*port)), 0);  // the one answer before the hang-up
    // The peer is gone: reads come back empty, and a write fails instead of vanishing.
    EXPECT_EQ(port->ReadPort(), "");
    int written = static_cast<int>(kSensorPoll.size());
    for (int attempt = 0; attempt < 20 && written == static_cast<int>(kSensorPoll.size());
         ++attempt) {
        written = port->WritePort(kSensorPoll);
        port->ReadPort();
    }
    EXPECT_LT(written, static_cast<int>(kSensorPoll.size()));
    EXPECT_TRUE(port->hung_up());
    EXPECT_EQ(port->WritePort(kSensorPoll), 0);
    port->ClosePort();
    EXPECT_FALSE(port->is_open());
}

// The control block every driver accepts, whatever the port's state left in it.
TEST(Win32SerialPort, ControlBlockIsBinaryWithDistinctFlowCharactersAndNoFlowControl) {
    for (const bool from_zero : {true, false}) {
        DCB dcb{};
        if (!from_zero) {  // a port left by another program with flow control and odd flags
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = TRUE;
            dcb.fAbortOnError = dcb.fNull = dcb.fErrorChar = dcb.fDsrSensitivity = TRUE;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            dcb.fRtsControl = RTS_CONTROL_TOGGLE;
            dcb.XonChar = dcb.XoffChar = 0x11;
        }
        ASSERT_TRUE(put_line(kDeviceLine, dcb));
        settle_comm_dcb(dcb);
        SCOPED_TRACE(from_zero ? "from zero" : "from a used port");
        EXPECT_EQ(dcb.DCBlength, sizeof dcb);
        EXPECT_TRUE(dcb.fBinary);
        EXPECT_NE(dcb.XonChar, dcb.XoffChar);
        EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
        EXPECT_FALSE(dcb.fAbortOnError || dcb.fNull || dcb.fErrorChar || dcb.fDsrSensitivity);
        EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
        EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
        EXPECT_EQ(dcb.BaudRate, 19200u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    }
}

// The framing reaches the control block; framing no port has is refused.
TEST(Win32SerialPort, LineSettingsFillTheControlBlock) {
    DCB dcb{};
    ASSERT_TRUE(put_line({9600, Parity::Even, 7, 2}, dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_TRUE(dcb.fParity);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    ASSERT_TRUE(put_line({115200, Parity::Odd, 8, 1}, dcb));
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    for (const LineSettings bad :
         {LineSettings{0, Parity::None, 8, 1}, LineSettings{19200, Parity::None, 9, 1},
          LineSettings{19200, Parity::None, 4, 1}, LineSettings{19200, Parity::None, 8, 3}}) {
        EXPECT_FALSE(put_line(bad, dcb)) << line_settings_text(bad);
    }
}

// The read time-outs as the exchange expects them; the write has a floor above a timer tick.
TEST(Win32SerialPort, WriteTimeOutHasAFloorAboveATimerTick) {
    const COMMTIMEOUTS& t = comm_timeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, 20u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 1u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1u);
    EXPECT_GE(t.WriteTotalTimeoutConstant, 100u);
}

TEST(Win32SerialPort, RemovedDevicesAreAHangUpAndNoDevice) {
    constexpr DWORD kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, unnamed in mingw's headers
    for (const DWORD error : {static_cast<DWORD>(ERROR_DEVICE_REMOVED), kNoSuchDevice}) {
        EXPECT_TRUE(is_hangup_error(error)) << error;
        EXPECT_EQ(failure_for_win32_error(error), OpenFailure::NoSuchDevice) << error;
    }
    EXPECT_FALSE(is_hangup_error(ERROR_OPERATION_ABORTED));  // a read cancelled by a close
}

TEST(Win32PortDiscovery, AsksForCom1ToCom30InOrder) {
    std::vector<std::string> asked;
    const auto ports = list_com_ports([&](const std::string& name) {
        asked.push_back(name);
        return name == "COM3" || name == "COM12" || name == "COM30";
    });
    ASSERT_EQ(asked.size(), 30u);
    EXPECT_EQ(asked.front(), "COM1");
    EXPECT_EQ(asked[11], "COM12");
    EXPECT_EQ(asked.back(), "COM30");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].name, "COM3");
    EXPECT_EQ(ports[0].path, "\\\\.\\COM3");
    EXPECT_EQ(ports[1].name, "COM12");
    EXPECT_EQ(ports[2].path, "\\\\.\\COM30");
}

TEST(Win32PortDiscovery, ListedPortsComeLowNumbersFirstThenHigherThenOtherNames) {
    std::vector<std::string> asked;
    const auto ports = list_named_ports(
        {"COM31", "COM12", "CNCA0", "COM3", "COM100", "COM3", "COM2", ""},
        [&](const std::string& name) {
            asked.push_back(name);
            return name != "COM2";  // listed, but the system has no configuration for it
        });
    EXPECT_EQ(asked,
              (std::vector<std::string>{"COM2", "COM3", "COM12", "COM31", "COM100", "CNCA0"}));
    std::vector<std::string> names;
    for (const PortEntry& entry : ports) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"COM3", "COM12", "COM31", "COM100", "CNCA0"}));
    EXPECT_EQ(ports[3].path, "\\\\.\\COM100");
}

TEST(Win32PortDiscovery, TheMappedPortIsListedAndPathsAreInTheDeviceNamespace) {
    REQUIRE_PORT(com, "VELKON_TEST_COM");
    EXPECT_NE(PortExists(std::stoi(com.substr(3))), 0);
    const auto ports = make_system_port_lister()->list();
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front().name, "COM1");
    EXPECT_EQ(device_path_for("COM3"), "\\\\.\\COM3");
    EXPECT_EQ(device_path_for("\\\\.\\COM4"), "\\\\.\\COM4");
    EXPECT_EQ(device_path_for(""), "");
}

}  // namespace
}  // namespace velkon
