// What a read from the line holds, judged against the request it answers: the one place that
// decides whether the device answered, for the window's tick, the command-line tool and the fuzz
// targets alike.
//
// An answer is the expected frame, whole, or it is nothing. Adapters and repeaters on RS-485 hand
// requests back (once, twice, late, the one before, or only their first bytes), and a line may
// carry a byte of noise; none of that may shift a record, because a shifted record that passes
// its check byte would be shown and written back to the unit. So, from what a read holds:
//   1. any number of leading copies of requests sent on this link are taken off;
//   2. what is left must be exactly one intact frame (kAnswerPrefix, check byte matching, a length
//      its kind may have) of a kind that may answer the request, and nothing else: a second
//      frame, leftovers or a bad check byte make the read not intact;
//   3. bytes in front of such a frame that hold no frame themselves (noise, a partial echo) are
//      skipped and counted.
// A read that is only echoes is silence.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/codes.h"
#include "protocol/frame.h"

namespace velkon {

// The answer kinds the devices give, with the lengths (check byte included) a whole one has.
struct AnswerKind {
    std::uint8_t code;
    std::size_t min_size;
    std::size_t max_size;
};

// The kind with `code`, or nothing for a code no device of ours gives.
std::optional<AnswerKind> answer_kind(std::uint8_t code);

// The answer codes that may answer `request`: the sensor answers a command with its own code (or
// with «wrong password»), the unit answers its requests with theirs. An empty list: the request
// has no answer of its own (or nothing was sent), and any known answer is taken.
struct Expectation {
    std::uint8_t codes[2] = {};
    std::size_t count = 0;

    bool any() const { return count == 0; }
    bool allows(std::uint8_t code) const;
};
Expectation expected_answers(std::string_view request);

enum class ReadVerdict {
    Answer,      // one intact frame that may answer the request
    Silence,     // nothing, or only copies of requests
    NotAFrame,   // bytes with no frame start at all (modem text, noise)
    NotIntact,   // a frame start, but no single whole frame of an expected kind
    Unexpected,  // an intact frame of a known kind that does not answer this request
    Unknown,     // an intact frame with a code no device of ours gives
};

struct JudgedRead {
    ReadVerdict verdict = ReadVerdict::Silence;
    std::string_view frame;   // Answer: the frame; Unexpected, Unknown: the intact frame
    std::uint8_t code = 0;    // Answer, Unexpected, Unknown: the frame's code
    std::size_t echoes = 0;   // request copies taken off the front
    std::size_t skipped = 0;  // stray bytes skipped in front of the frame
    // What is left once the echoes are off (NotAFrame: the text to show as text).
    std::string_view rest;
};

// Judges `received`. `sent` holds the requests sent on this link, newest first (the request this
// read answers first); `expected` what may answer the newest. The views point into `received`.
JudgedRead judge_read(std::string_view received, std::span<const Frame> sent,
                      const Expectation& expected);

// The requests last sent on one link, newest first: what an adapter may hand back.
class SentRequests {
  public:
    static constexpr std::size_t kKept = 4;

    void add(const Frame& request);
    void clear() { count_ = 0; }
    std::span<const Frame> newest_first() const { return {frames_, count_}; }
    // The request the next read answers ("" when none).
    std::string_view newest() const { return count_ ? std::string_view(frames_[0]) : ""; }

  private:
    Frame frames_[kKept];
    std::size_t count_ = 0;
};

}  // namespace velkon
