// The line settings text of the POSIX driver ("19200,n,8,1") and its terminal settings.
#include "serial/posix_line.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <vector>

namespace velkon {

namespace {

struct BaudRow {
    unsigned baud;
    speed_t speed;
};

constexpr BaudRow kBaudRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<unsigned> whole_number(std::string_view s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> split_fields(std::string_view text) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = text.find(',');
        fields.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

std::optional<LineSettings> parse_line_settings(std::string_view text) {
    const auto fields = split_fields(text);
    if (fields.size() != 4) return std::nullopt;
    LineSettings line;

    const auto baud = whole_number(fields[0]);
    const auto rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                   [&](const BaudRow& row) { return baud && row.baud == *baud; });
    if (rate == std::end(kBaudRates)) return std::nullopt;
    line.baud = rate->baud;
    line.speed = rate->speed;

    if (fields[1].size() != 1) return std::nullopt;
    line.parity = static_cast<char>(fields[1][0] | 0x20);  // either case
    if (line.parity != 'n' && line.parity != 'e' && line.parity != 'o') return std::nullopt;

    const auto data = whole_number(fields[2]);
    if (!data || *data < 5 || *data > 8) return std::nullopt;
    line.data_bits = static_cast<int>(*data);

    const auto stop = whole_number(fields[3]);
    if (!stop || (*stop != 1 && *stop != 2)) return std::nullopt;
    line.stop_bits = static_cast<int>(*stop);
    return line;
}

namespace {

tcflag_t size_flag(int data_bits) {
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    return kSizes[data_bits - 5];
}

// Reads never block by themselves (the descriptor is non-blocking), and VMIN 1 makes a read of
// 0 bytes mean end of file.
}  // namespace

void apply_line_settings(termios& tio, const LineSettings& line) {
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size_flag(line.data_bits);
    if (line.parity != 'n') tio.c_cflag |= PARENB;
    if (line.parity == 'o') tio.c_cflag |= PARODD;
    if (line.stop_bits == 2) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, line.speed);
    ::cfsetospeed(&tio, line.speed);
}

std::optional<termios> line_termios(std::string_view settings, const termios& base) {
    const auto line = parse_line_settings(settings);
    if (!line) return std::nullopt;
    termios tio = base;
    apply_line_settings(tio, *line);
    return tio;
}

}  // namespace velkon
