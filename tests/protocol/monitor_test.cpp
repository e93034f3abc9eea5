// Text of the traffic monitor.
#include "protocol/monitor.h"

#include <gtest/gtest.h>

namespace velkon {
namespace {

struct DisplayCase {
    std::string frame;
    const char* hex;
    const char* clean;
};

void PrintTo(const DisplayCase& c, std::ostream* os) {
    *os << c.hex;
}

class MonitorText : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(MonitorText, HexDumpAndCleanText) {
    EXPECT_EQ(hex_dump(GetParam().frame), GetParam().hex);
    EXPECT_EQ(CleanStr(GetParam().frame), GetParam().clean);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, MonitorText,
    ::testing::Values(DisplayCase{"\x31\x01\xF0\xC5", "31 1 F0 C5 ", "1@рЕ"},
                      DisplayCase{"\x5D", "5D ", "<ACK>"}, DisplayCase{"\x5B", "5B ", "<NAK>"},
                      DisplayCase{" ", "20 ", "@"}, DisplayCase{"0", "30 ", "0"},
                      DisplayCase{"/", "2F ", "@"}, DisplayCase{",.-", "2C 2E 2D ", "@@@"},
                      DisplayCase{"\r\n", "D A ", "<CR><LF>"},
                      DisplayCase{std::string(1, '\0'), "0 ", "@"},
                      DisplayCase{"\x5C\x5E\x7F", "5C 5E 7F ", "\\^\x7F"},
                      DisplayCase{"\xC0\xFF\xB9", "C0 FF B9 ", "Ая№"}, DisplayCase{"", "", ""}));

TEST(MonitorEcho, RequestEchoOfEmptyFrameIsTwoLineBreaks) {
    EXPECT_EQ(request_echo(""), "\r\n\r\n");
}

TEST(MonitorEcho, RequestEchoIsDumpBlankLineCleanText) {
    EXPECT_EQ(request_echo("\x31\x01\xF0\xC5"), "31 1 F0 C5 \r\n\r\n1@рЕ");
}

const std::string kRequest = "\x31\x01\xF0\xC5";
const std::string kRequestEcho = "31 1 F0 C5 \r\n\r\n1@рЕ";

TEST(MonitorEcho, IntactAnswerEndsInZero) {
    const std::string answer("\x3E\x01\xF0\x5D\x00\x20\xE0\x97", 8);
    EXPECT_EQ(answer_echo(kRequest, answer),
              kRequestEcho + "3E 1 F0 5D 0 20 E0 97 " + "97 " + "\r\n\r\n" + ">@р<ACK>@@а—" + "0");
}

TEST(MonitorEcho, DamagedAnswerShowsBothCheckBytes) {
    const std::string answer("\x3E\x01\xF0\x5D\x00\x20\xE0\x96", 8);
    EXPECT_EQ(answer_echo(kRequest, answer),
              kRequestEcho + "3E 1 F0 5D 0 20 E0 96 " + "97 " + "\r\n\r\n" + ">@р<ACK>@@а–" + "5E");
}

}  // namespace
}  // namespace velkon
