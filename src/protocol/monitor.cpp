#include "protocol/monitor.h"

#include "protocol/cp1251.h"
#include "protocol/frame.h"

namespace velkon {

namespace {

std::string hex_byte(std::uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (b >= 0x10) out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
    return out;
}

}  // namespace

std::string hex_dump(std::string_view frame) {
    std::string out;
    out.reserve(frame.size() * 3);
    for (char c : frame) {
        out += hex_byte(static_cast<std::uint8_t>(c));
        out.push_back(' ');
    }
    return out;
}

std::string CleanStr(std::string_view frame) {
    std::string out;
    out.reserve(frame.size() * 2);
    for (char c : frame) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b == 0x5D) {
            out += "<ACK>";
        } else if (b == 0x5B) {
            out += "<NAK>";
        } else if (b >= 0x30) {
            out += cp1251_to_utf8(std::string_view(&c, 1));
        } else if (b == 0x0D) {
            out += "<CR>";
        } else if (b == 0x0A) {
            out += "<LF>";
        } else {
            out.push_back('@');
        }
    }
    return out;
}

std::string request_echo(std::string_view frame) {
    return hex_dump(frame) + "\r\n\r\n" + CleanStr(frame);
}

std::string answer_echo(std::string_view request, std::string_view answer) {
    std::string out = request_echo(request);
    out += hex_dump(answer);
    const std::string_view body = answer.substr(0, answer.empty() ? 0 : answer.size() - 1);
    out += hex_byte(check_byte(body));
    out += ' ';
    out += "\r\n\r\n";
    out += CleanStr(answer);
    out += hex_byte(check_byte(answer));
    return out;
}

}  // namespace velkon
