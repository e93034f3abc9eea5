// The line settings as terminal settings.
#include "serial/posix_line.h"

#include <algorithm>
#include <iterator>

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

tcflag_t size_flag(int data_bits) {
    constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    return kSizes[data_bits - 5];
}

}  // namespace

std::optional<speed_t> terminal_speed(unsigned baud) {
    const auto rate = std::find_if(std::begin(kBaudRates), std::end(kBaudRates),
                                   [&](const BaudRow& row) { return row.baud == baud; });
    if (rate == std::end(kBaudRates)) return std::nullopt;
    return rate->speed;
}

// Reads never block by themselves (the descriptor is non-blocking), and VMIN 1 makes a read of
// 0 bytes mean end of file.
std::optional<termios> line_termios(const LineSettings& line, const termios& base) {
    const auto speed = terminal_speed(line.baud);
    if (!speed || line.data_bits < 5 || line.data_bits > 8) return std::nullopt;
    if (line.stop_bits != 1 && line.stop_bits != 2) return std::nullopt;
    if (line.parity != Parity::None && line.parity != Parity::Even && line.parity != Parity::Odd) {
        return std::nullopt;
    }
    termios tio = base;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | size_flag(line.data_bits);
    if (line.parity != Parity::None) tio.c_cflag |= PARENB;
    if (line.parity == Parity::Odd) tio.c_cflag |= PARODD;
    if (line.stop_bits == 2) tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, *speed);
    ::cfsetospeed(&tio, *speed);
    return tio;
}

}  // namespace velkon
