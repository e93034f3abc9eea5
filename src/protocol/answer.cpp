#include "protocol/answer.h"

#include <algorithm>
#include <vector>

namespace velkon {

namespace {

constexpr std::size_t kShortest = kShortestFrame;

// The upper bounds leave room for a longer answer of newer firmware; a second frame glued to an
// answer is caught by looking for it, not by the length alone.
// clang-format off
constexpr AnswerKind kKinds[] = {
    {code::kReadings,       kReadingsAnswerMin, 64},
    {code::kVersion,        kShortest, 32},
    {code::kSetMode,        5, 16},                   // the mode byte follows the code
    {code::kCalibrateEmpty, kShortest, 16}, {code::kCalibrateFull, kShortest, 16},
    {code::kSetAddress,     kShortest, 16}, {code::kSetSerial,     kShortest, 16},
    {code::kShiftEmpty,     kShortest, 16}, {code::kShiftFull,     kShortest, 16},
    {code::kEnterPassword,  kShortest, 16}, {code::kWrongPassword, kShortest, 16},
    {code::kChangePassword, kShortest, 16}, {code::kPasswordNote,  kShortest, 16},
    {code::kLiveData,       kShortest, 128},
    {code::kControl,        kShortest, 16},
    {code::kConfigRead,     kConfigAnswerFrame, 255},
    {code::kConfigWrite,    kShortest, 16},           // the write's acknowledgement
    {code::kImei,           kShortest, 64},
};
// clang-format on

bool fits(const AnswerKind& kind, std::size_t size) {
    return size >= kind.min_size && size <= kind.max_size;
}

bool known_code_at(std::string_view bytes, std::size_t at) {
    return at + 2 < bytes.size() && byte_at(bytes, at) == kAnswerPrefix &&
           answer_kind(byte_at(bytes, at + 2)).has_value();
}

// One whole frame and nothing else: a frame start, a matching check byte, and no point inside
// where one intact frame ends and a frame of a known kind begins (two glued frames check out as
// one, since the check register is back at zero after each).
bool single_frame(std::string_view bytes) {
    if (bytes.size() < kShortest || byte_at(bytes, 0) != kAnswerPrefix) return false;
    std::uint8_t running = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (running == 0 && i >= kShortest && i + kShortest <= bytes.size() &&
            known_code_at(bytes, i)) {
            return false;
        }
        crc(byte_at(bytes, i), running);
    }
    return running == 0;
}

bool is_sent(std::string_view bytes, std::span<const Frame> sent) {
    return std::any_of(sent.begin(), sent.end(), [&](const Frame& f) { return f == bytes; });
}

// Whether `bytes` hold, anywhere, an intact frame of a known kind that is not a copy of a
// request: such bytes are an answer of their own, not noise.
bool holds_answer(std::string_view bytes, std::span<const Frame> sent) {
    for (std::size_t q = 0; q + kShortest <= bytes.size(); ++q) {
        if (!known_code_at(bytes, q)) continue;
        std::uint8_t running = 0;
        for (std::size_t e = q; e < bytes.size(); ++e) {
            crc(byte_at(bytes, e), running);
            const std::size_t size = e + 1 - q;
            if (running == 0 && size >= kShortest && !is_sent(bytes.substr(q, size), sent)) {
                return true;
            }
        }
    }
    return false;
}

// Where an answer may start once leading request copies are off: every offset reachable by
// taking whole copies off the front, longest first. A copy is tried whatever follows it, and the
// shorter ways stay candidates: an answer's first bytes may equal a request by chance.
std::vector<std::size_t> starts_after_echoes(std::string_view received,
                                             std::span<const Frame> sent) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::string_view rest = received.substr(starts[i]);
        for (const Frame& f : sent) {
            if (f.empty() || !rest.starts_with(f)) continue;
            const std::size_t next = starts[i] + f.size();
            if (std::find(starts.begin(), starts.end(), next) == starts.end()) {
                starts.push_back(next);
            }
        }
    }
    std::sort(starts.begin(), starts.end(), std::greater<>());
    return starts;
}

std::size_t copies_in(std::string_view prefix, std::span<const Frame> sent) {
    std::size_t n = 0;
    while (!prefix.empty()) {
        const auto it = std::find_if(sent.begin(), sent.end(), [&](const Frame& f) {
            return !f.empty() && prefix.starts_with(f);
        });
        if (it == sent.end()) break;
        prefix.remove_prefix(it->size());
        ++n;
    }
    return n;
}

bool answers(std::string_view bytes, const Expectation& expected) {
    if (!single_frame(bytes)) return false;
    const auto kind = answer_kind(byte_at(bytes, 2));
    return kind && fits(*kind, bytes.size()) && expected.allows(kind->code);
}

JudgedRead taken(std::string_view received, std::size_t start, std::size_t skipped,
                 std::span<const Frame> sent) {
    JudgedRead read;
    read.verdict = ReadVerdict::Answer;
    read.rest = received.substr(start);
    read.frame = read.rest.substr(skipped);
    read.code = byte_at(read.frame, 2);
    read.echoes = copies_in(received.substr(0, start), sent);
    read.skipped = skipped;
    return read;
}

}  // namespace

std::optional<AnswerKind> answer_kind(std::uint8_t code) {
    for (const AnswerKind& kind : kKinds) {
        if (kind.code == code) return kind;
    }
    return std::nullopt;
}

bool Expectation::allows(std::uint8_t code) const {
    if (any()) return answer_kind(code).has_value();
    return std::find(codes, codes + count, code) != codes + count;
}

Expectation expected_answers(std::string_view request) {
    Expectation e;
    if (request.size() < 3) return e;
    const std::uint8_t prefix = byte_at(request, 0);
    const std::uint8_t code = byte_at(request, 2);
    // The network poll carries no command code; commands whose code no answer carries have no
    // answer of their own.
    if (prefix == kSensorPrefix && byte_at(request, 1) == kPollAddress) return e;
    if (prefix != kSensorPrefix && prefix != kAnswerPrefix) return e;
    if (!answer_kind(code)) return e;
    e.codes[e.count++] = code;
    if (prefix == kSensorPrefix && code != code::kWrongPassword)
        e.codes[e.count++] = code::kWrongPassword;
    return e;
}

JudgedRead judge_read(std::string_view received, std::span<const Frame> sent,
                      const Expectation& expected) {
    const std::vector<std::size_t> starts = starts_after_echoes(received, sent);
    JudgedRead read;
    read.rest = received.substr(starts.front());
    read.echoes = copies_in(received.substr(0, starts.front()), sent);
    if (read.rest.empty()) return read;  // only echoes, or nothing

    for (const std::size_t start : starts) {
        if (answers(received.substr(start), expected)) return taken(received, start, 0, sent);
    }
    for (const std::size_t start : starts) {
        const std::string_view rest = received.substr(start);
        for (std::size_t p = 1; p + kShortest <= rest.size(); ++p) {
            if (byte_at(rest, p) != kAnswerPrefix || !answers(rest.substr(p), expected)) continue;
            // Everything in front counts, echoes included: an answer's first bytes may have
            // been taken for an echo.
            if (holds_answer(received.substr(0, start + p), sent)) break;
            return taken(received, start, p, sent);
        }
    }

    const std::string_view rest = read.rest;
    if (byte_at(rest, 0) != kAnswerPrefix) {
        read.verdict = ReadVerdict::NotAFrame;
        return read;
    }
    read.verdict = ReadVerdict::NotIntact;
    if (!single_frame(rest)) return read;
    // One intact frame after all: of a length its kind never has (a unit cut short), of a kind
    // that does not answer this request, or of no kind of ours.
    read.frame = rest;
    read.code = byte_at(rest, 2);
    const auto kind = answer_kind(read.code);
    if (kind && !fits(*kind, rest.size())) return read;
    read.verdict = kind ? ReadVerdict::Unexpected : ReadVerdict::Unknown;
    return read;
}

void SentRequests::add(const Frame& request) {
    for (std::size_t i = std::min(count_, kKept - 1); i > 0; --i) frames_[i] = frames_[i - 1];
    frames_[0] = request;
    count_ = std::min(count_ + 1, kKept);
}

}  // namespace velkon
