#include "cli/unit_link.h"

namespace velkon::cli {

namespace {

constexpr std::uint8_t kAnswerPrefix = 0x3E;
constexpr std::size_t kReceiveLimit = 1024;  // more than any answer; a flood ends the attempt

bool intact(const Frame& bytes, std::size_t min_size) {
    return bytes.size() >= min_size && bytes.size() >= 4 && byte_at(bytes, 0) == kAnswerPrefix &&
           check_byte(bytes) == 0;
}

std::string hex_byte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

}  // namespace

std::string Exchange::message() const {
    switch (outcome) {
        case Outcome::Answered:
            return {};
        case Outcome::Silent:
            return "Устройство не отвечает (спрошено " + std::to_string(kAttempts) + " раза).";
        case Outcome::Damaged:
            return "Ответ устройства повреждён: не сходится контрольный байт или ответ неполный "
                   "(спрошено " +
                   std::to_string(kAttempts) + " раза).";
        case Outcome::Unexpected:
            return "Устройство ответило не на этот запрос (код ответа " + hex_byte(code) + ").";
        case Outcome::WriteFailed:
            return "Ошибка записи в порт.";
    }
    return {};
}

Exchange UnitLink::ask(const Frame& request, std::uint8_t code, std::size_t min_size) {
    Exchange result;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ++attempts_;
        if (port_.WritePort(request) != static_cast<int>(request.size())) {
            result.outcome = Exchange::Outcome::WriteFailed;
            return result;
        }
        // The read's time-outs count from when the request has left, not from when it was queued.
        port_.FlushPort();
        Frame received = port_.ReadPort();
        // An answer split by a pause longer than the driver's 20 ms comes in more than one read;
        // so does an adapter's echo of the request and the answer after it.
        while (!received.empty() && !intact(Frame(after_echo(received, request)), min_size) &&
               received.size() < kReceiveLimit) {
            const Frame more = port_.ReadPort();
            if (more.empty()) break;
            received += more;
        }
        received = Frame(after_echo(received, request));
        if (received.empty()) {
            result.outcome = Exchange::Outcome::Silent;
            continue;
        }
        if (!intact(received, min_size)) {
            result.outcome = Exchange::Outcome::Damaged;
            continue;
        }
        if (byte_at(received, 2) != code) {
            result.outcome = Exchange::Outcome::Unexpected;
            result.code = byte_at(received, 2);
            continue;
        }
        result.outcome = Exchange::Outcome::Answered;
        result.answer = std::move(received);
        return result;
    }
    return result;
}

}  // namespace velkon::cli
