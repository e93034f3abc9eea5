#include "cli/unit_link.h"

#include <algorithm>

namespace velkon::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kAnswerPrefix = 0x3E;
constexpr std::size_t kReceiveLimit = 1024;  // more than any answer; a flood ends the attempt

bool intact(std::string_view bytes, std::size_t min_size) {
    return bytes.size() >= min_size && bytes.size() >= 4 && byte_at(bytes, 0) == kAnswerPrefix &&
           check_byte(bytes) == 0;
}

// Whole frames one after the other: the check byte runs over each frame back to 0, so over
// their concatenation too.
bool whole_frames(std::string_view bytes) {
    return intact(bytes, 4);
}

std::string hex_byte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

struct Found {
    bool answer = false;  // the answer with the code, from `at` to the end
    bool other = false;   // an intact frame with another code, and nothing after it
    std::size_t at = 0;
};

// The answer in what was received. With late answers possible, whole frames may come before it.
Found find_answer(std::string_view bytes, std::uint8_t code, std::size_t min_size,
                  bool late_possible) {
    Found found;
    if (intact(bytes, min_size)) {
        if (byte_at(bytes, 2) == code) {
            found.answer = true;
            return found;
        }
        found.other = true;
    }
    if (!late_possible) return found;
    for (std::size_t p = 4; p + 4 <= bytes.size(); ++p) {
        if (byte_at(bytes, p) != kAnswerPrefix || byte_at(bytes, p + 2) != code) continue;
        if (intact(bytes.substr(p), min_size) && whole_frames(bytes.substr(0, p))) {
            found = {true, false, p};
            return found;
        }
    }
    return found;
}

}  // namespace

bool holds_frame(const std::string& bytes, std::uint8_t code, std::size_t size) {
    for (std::size_t p = 0; p + size <= bytes.size(); ++p) {
        if (byte_at(bytes, p) == kAnswerPrefix && byte_at(bytes, p + 2) == code &&
            intact(std::string_view(bytes).substr(p, size), size)) {
            return true;
        }
    }
    return false;
}

std::string Exchange::message() const {
    const std::string times = " (спрошено раз: " + std::to_string(asked) + ").";
    switch (outcome) {
        case Outcome::Answered:
            return {};
        case Outcome::Silent:
            return "Устройство не отвечает" + times;
        case Outcome::Damaged:
            return "Ответ устройства повреждён: не сходится контрольный байт или ответ "
                   "неполный" +
                   times;
        case Outcome::Unexpected:
            return "Устройство ответило не на этот запрос (код ответа " + hex_byte(code) + ").";
        case Outcome::WriteFailed:
            return "Ошибка записи в порт.";
    }
    return {};
}

Exchange UnitLink::ask(const Frame& request, std::uint8_t code, std::size_t min_size) {
    return exchange(request, code, min_size, kAttempts);
}

Exchange UnitLink::send_once(const Frame& request, std::uint8_t code, std::size_t min_size) {
    return exchange(request, code, min_size, 1);
}

Exchange UnitLink::exchange(const Frame& request, std::uint8_t code, std::size_t min_size,
                            int copies) {
    settle();
    Exchange result;
    const auto first_sent = Clock::now();
    for (int copy = 0; copy < copies; ++copy) {
        const int asked = result.asked + 1;
        result = one_copy(request, code, min_size);
        result.asked = asked;
        if (result || result.outcome == Exchange::Outcome::WriteFailed) break;
    }
    // An answer after more than one copy may be the first copy's, late: the unit may take that
    // long, and settle() gives the other copies' answers as long to come.
    if (result && result.asked > 1) {
        latency_ = std::max(latency_, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          Clock::now() - first_sent));
    }
    return result;
}

Exchange UnitLink::one_copy(const Frame& request, std::uint8_t code, std::size_t min_size) {
    Exchange result;
    ++attempts_;
    if (port_.WritePort(request) != static_cast<int>(request.size())) {
        result.outcome = Exchange::Outcome::WriteFailed;
        return result;
    }
    ++unanswered_;
    // The wait counts from when the request has left, not from when it was queued.
    port_.FlushPort();
    const auto deadline = Clock::now() + wait_;
    std::string received;
    for (;;) {
        // The driver's read returns 20 ms after the last byte, or after a quarter second of
        // nothing: a split answer, an echo and the answer behind it come in several reads.
        const std::string more = port_.ReadPort();
        received += more;
        const std::string_view bytes = after_echo(received, request);
        const Found found = find_answer(bytes, code, min_size, unanswered_ > 1);
        if (found.answer) {
            result.outcome = Exchange::Outcome::Answered;
            result.answer = Frame(bytes.substr(found.at));
            // The answer may be to an earlier copy; one answer fewer is still to come either way.
            --unanswered_;
            return result;
        }
        // An intact frame of another code is the answer when no earlier copy is outstanding.
        if (found.other && unanswered_ == 1) {
            --unanswered_;
            result.outcome = Exchange::Outcome::Unexpected;
            result.code = byte_at(bytes, 2);
            return result;
        }
        if (received.size() >= kReceiveLimit || port_.hung_up() || Clock::now() >= deadline) {
            result.outcome = bytes.empty() ? Exchange::Outcome::Silent
                             : found.other ? Exchange::Outcome::Unexpected
                                           : Exchange::Outcome::Damaged;
            if (found.other) result.code = byte_at(bytes, 2);
            return result;
        }
    }
}

std::string UnitLink::settle() {
    std::string heard;
    if (unanswered_ == 0) return heard;
    // Each late answer comes within the unit's delay; the bound keeps a babbling line from
    // holding us forever.
    const auto quiet = wait_ + latency_;
    const auto limit = Clock::now() + quiet * (unanswered_ + 1);
    auto quiet_until = Clock::now() + quiet;
    while (Clock::now() < quiet_until && Clock::now() < limit && !port_.hung_up() &&
           heard.size() < kReceiveLimit) {
        const std::string more = port_.ReadPort();
        if (!more.empty()) {
            heard += more;
            quiet_until = Clock::now() + quiet;
        }
    }
    unanswered_ = 0;
    return heard;
}

}  // namespace velkon::cli
