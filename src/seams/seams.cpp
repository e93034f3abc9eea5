#include "seams/seams.h"

#include <ctime>

#include "serial/serial_port.h"

namespace velkon {

std::filesystem::path Dialogs::open_file(const std::string&, const std::filesystem::path&,
                                         const std::vector<FileFilter>&) {
    return {};
}

std::filesystem::path Dialogs::save_file(const std::string&, const std::filesystem::path&,
                                         const std::vector<FileFilter>&) {
    return {};
}

void PortIoRunner::flush(SerialPort& port) {
    port.FlushPort();
}

TickIo PortIoRunner::exchange_now(SerialPort& port, const std::string& request,
                                  const std::function<bool()>& still_current) {
    TickIo io;
    io.received = port.ReadPort();
    // What is left beyond one read after the read can answer nothing the next request asks;
    // one answer longer than a read still has its rest read at the next tick.
    port.DiscardInputBeyond(kReadLimit);
    if (!request.empty()) {
        io.written = (!still_current || still_current()) &&
                     port.WritePort(request) == static_cast<int>(request.size());
    }
    return io;
}

void SyncIoRunner::exchange(SerialPort& port, std::string request,
                            std::function<bool()> still_current, std::function<void(TickIo)> done) {
    done(exchange_now(port, request, still_current));
}

std::string SystemClock::now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return text;
}

std::chrono::milliseconds SystemClock::monotonic() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace velkon
