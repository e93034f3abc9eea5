#include "cli/unit_link.h"

#include <algorithm>
#include <span>

namespace velkon::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReceiveLimit = 1024;  // more than any answer; a flood ends the attempt

std::string hex_byte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

// The answer in what was received, judged as the window judges a tick's read: request copies
// skipped, then one whole frame that answers `request`, of at least `min_size` bytes.
struct Found {
    JudgedRead read;
    bool answer = false;
};

Found find_answer(std::string_view bytes, std::span<const Frame> sent, const Expectation& expected,
                  std::size_t min_size) {
    Found found{judge_read(bytes, sent, expected)};
    found.answer = found.read.verdict == ReadVerdict::Answer && found.read.frame.size() >= min_size;
    return found;
}

// With answers to earlier copies of the question still possible, the answer to one of them may
// come first, with the next copy's echo and answer glued behind it: any of them will do. Only
// whole frames end where the check register is back at zero, so only there is a cut tried.
Found find_early_answer(std::string_view bytes, std::span<const Frame> sent,
                        const Expectation& expected, std::size_t min_size) {
    std::uint8_t running = 0;
    for (std::size_t end = 1; end < bytes.size(); ++end) {
        crc(byte_at(bytes, end - 1), running);
        if (running != 0) continue;
        Found found = find_answer(bytes.substr(0, end), sent, expected, min_size);
        if (found.answer) return found;
    }
    return {};
}

// Whether `rest` (what came, echoes off) ends in the start of an answer with `code` that the wait
// cut short: a frame start, the code asked for once it has come, and fewer bytes than a whole
// answer of the size asked for. What is in front (noise, an echo's first bytes, the first part
// of an answer to an earlier copy, cut as well) is passed over. A frame that reached its whole
// size with a wrong check byte is damage, whatever longer size its kind allows.
bool cut_short(std::string_view rest, std::uint8_t code, std::size_t min_size) {
    const auto kind = answer_kind(code);
    const std::size_t whole = std::max(min_size, kind ? kind->min_size : std::size_t{0});
    const std::size_t from = rest.size() >= whole ? rest.size() - whole + 1 : 0;
    for (std::size_t p = from; p < rest.size(); ++p) {
        if (byte_at(rest, p) != kAnswerPrefix) continue;
        if (p + 2 >= rest.size() || byte_at(rest, p + 2) == code) return true;
    }
    return false;
}

}  // namespace

bool holds_frame(const std::string& bytes, std::uint8_t code, std::size_t size) {
    for (std::size_t p = 0; p + size <= bytes.size(); ++p) {
        const std::string_view frame = std::string_view(bytes).substr(p, size);
        if (byte_at(frame, 0) == kAnswerPrefix && byte_at(frame, 2) == code &&
            check_byte(frame) == 0) {
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
        case Outcome::TooSlow:
            return "Ответ не успел прийти за " + std::to_string(wait.count()) +
                   " мс: увеличьте --timeout" + times;
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
    // An answer one copy saw begin and not end says more about the unit than the silence of the
    // copies after it, while the unit still sends the first.
    bool cut = false;
    for (int copy = 0; copy < copies; ++copy) {
        const int asked = result.asked + 1;
        result = one_copy(request, code, min_size);
        result.asked = asked;
        if (result || result.outcome == Exchange::Outcome::WriteFailed) break;
        cut = cut || result.outcome == Exchange::Outcome::TooSlow;
    }
    if (cut && result.outcome == Exchange::Outcome::Silent)
        result.outcome = Exchange::Outcome::TooSlow;
    result.wait = wait_;
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
    sent_.add(request);
    Expectation expected;
    expected.codes[expected.count++] = code;
    // The wait counts from when the request has left, not from when it was queued.
    port_.FlushPort();
    const auto deadline = Clock::now() + wait_;
    std::string received;
    for (;;) {
        // The driver's read returns 20 ms after the last byte, or after a quarter second of
        // nothing: a split answer, an echo and the answer behind it come in several reads.
        const std::string more = port_.ReadPort();
        received += more;
        Found found = find_answer(received, sent_.newest_first(), expected, min_size);
        if (!found.answer && unanswered_ > 1) {
            Found early = find_early_answer(received, sent_.newest_first(), expected, min_size);
            if (early.answer) found = early;
        }
        if (found.answer) {
            result.outcome = Exchange::Outcome::Answered;
            result.answer = Frame(found.read.frame);
            // The answer may be to an earlier copy; one answer fewer is still to come either way.
            --unanswered_;
            return result;
        }
        const ReadVerdict verdict = found.read.verdict;
        // A whole frame of another kind is the answer when no earlier copy is outstanding.
        const bool other = verdict == ReadVerdict::Unexpected || verdict == ReadVerdict::Unknown;
        if (other && unanswered_ == 1) {
            --unanswered_;
            result.outcome = Exchange::Outcome::Unexpected;
            result.code = found.read.code;
            return result;
        }
        // A port closed under us (the program is ending by a signal) answers nothing more.
        const bool limit = received.size() >= kReceiveLimit || port_.hung_up() || !port_.is_open();
        if (limit || Clock::now() >= deadline) {
            result.outcome = verdict == ReadVerdict::Silence ? Exchange::Outcome::Silent
                             : other                         ? Exchange::Outcome::Unexpected
                                                             : Exchange::Outcome::Damaged;
            if (other) result.code = found.read.code;
            // Only the wait's end cuts an answer short; a line that hung up or flooded did not.
            const bool partial =
                verdict == ReadVerdict::NotIntact || verdict == ReadVerdict::NotAFrame;
            if (!limit && partial && cut_short(found.read.rest, code, min_size)) {
                result.outcome = Exchange::Outcome::TooSlow;
            }
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
           port_.is_open() && heard.size() < kReceiveLimit) {
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
