// What a read holds, judged against the request it answers: every answer kind behind every
// adapter fault seen in the field gives the unit's frame exactly, or nothing at all.
#include "protocol/answer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkon {
namespace {

Frame frame_of(std::initializer_list<std::uint8_t> head, std::size_t size_with_check,
               char fill = '\x21') {
    std::string body(head.begin(), head.end());
    body.resize(size_with_check - 1, fill);
    return Control_summ(body);
}

struct Kind {
    const char* name;
    Frame request;
    Frame answer;
};

const Frame kLiveRequest = make_frame({0x3E, 0xCA, 0xA0});
const Frame kReadingsRequest = make_frame({0x31, 0x01, 0xF0});

std::vector<Kind> kinds() {
    return {
        {"Readings", kReadingsRequest, frame_of({0x3E, 0x00, 0xF0, 0x19}, 22)},
        {"Version", make_frame({0x31, 0x01, 0xFC}), frame_of({0x3E, 0x01, 0xFC, 0x2A}, 10, 0)},
        {"Mode", make_frame({0x31, 0x01, 0xF2, 0x08}), make_frame({0x3E, 0x01, 0xF2, 0x08})},
        {"FullLevel", make_frame({0x31, 0x01, 0xF5}), make_frame({0x3E, 0x01, 0xF5})},
        {"Configuration", make_frame({0x3E, 0xCA, 0xA2, 0, 0, 0, 0, 0}),
         frame_of({0x3E, 0xCA, 0xA2, 0x16, 'a', 'p', 'n'}, 172, 0)},
        {"WriteAcknowledged", frame_of({0x3E, 0xCA, 0xA3, 0x16}, 169, 0),
         make_frame({0x3E, 0xCA, 0xA3})},
        {"Imei", make_frame({0x3E, 0xCA, 0xA7}), frame_of({0x3E, 0xCA, 0xA7, '3', '5'}, 40, '7')},
        {"LiveData", kLiveRequest, frame_of({0x3E, 0xCA, 0xA0, 0xD6}, 60, 0x3E)},
    };
}

enum class Want { TheAnswer, Nothing, Silence };

struct Fault {
    const char* name;
    std::string (*received)(const Kind& k, const Frame& previous);
    Want want;
    std::size_t skipped = 0;
};

Frame other_answer(const Kind& k) {
    return byte_at(k.answer, 2) == 0xF5 ? make_frame({0x3E, 0x01, 0xFA})
                                        : make_frame({0x3E, 0x01, 0xF5});
}

const Fault kFaults[] = {
    {"Clean", [](const Kind& k, const Frame&) { return k.answer; }, Want::TheAnswer},
    {"Echo", [](const Kind& k, const Frame&) { return k.request + k.answer; }, Want::TheAnswer},
    {"EchoTwice", [](const Kind& k, const Frame&) { return k.request + k.request + k.answer; },
     Want::TheAnswer},
    {"PreviousRequest", [](const Kind& k, const Frame& p) { return p + k.answer; },
     Want::TheAnswer},
    {"PreviousThenEcho", [](const Kind& k, const Frame& p) { return p + k.request + k.answer; },
     Want::TheAnswer},
    {"PartialEcho", [](const Kind& k, const Frame&) { return k.request.substr(0, 3) + k.answer; },
     Want::TheAnswer, 3},
    {"StrayBytes",
     [](const Kind& k, const Frame&) { return std::string("\x00\x11", 2) + k.answer; },
     Want::TheAnswer, 2},
    {"OnlyEchoes", [](const Kind& k, const Frame& p) { return p + k.request + k.request; },
     Want::Silence},
    {"FrameGluedInFront", [](const Kind& k, const Frame&) { return other_answer(k) + k.answer; },
     Want::Nothing},
    {"EchoThenGluedFrame",
     [](const Kind& k, const Frame&) { return k.request + other_answer(k) + k.answer; },
     Want::Nothing},
    {"AnsweredTwice", [](const Kind& k, const Frame&) { return k.answer + k.answer; },
     Want::Nothing},
    {"EchoThenAnsweredTwice",
     [](const Kind& k, const Frame&) { return k.request + k.answer + k.answer; }, Want::Nothing},
    {"Leftover", [](const Kind& k, const Frame&) { return k.answer + "\x55"; }, Want::Nothing},
    {"BadCheckByte",
     [](const Kind& k, const Frame&) {
         Frame bad = k.answer;
         bad.back() = static_cast<char>(bad.back() ^ 0x40);
         return bad;
     },
     Want::Nothing},
    {"Cut", [](const Kind& k, const Frame&) { return k.request + k.answer.substr(0, 3); },
     Want::Nothing},
    {"AnotherKind", [](const Kind& k, const Frame&) { return other_answer(k); }, Want::Nothing},
    {"PartialEchoOnly",
     [](const Kind& k, const Frame&) { return k.request.substr(0, k.request.size() - 1); },
     Want::Nothing},
};

// A read takes place after `previous` and the kind's request went out on the link.
TEST(JudgeRead, EveryAnswerKindBehindEveryAdapterFault) {
    for (const Kind& k : kinds()) {
        const Frame previous = k.request == kLiveRequest ? kReadingsRequest : kLiveRequest;
        SentRequests sent;
        sent.add(previous);
        sent.add(k.request);
        for (const Fault& f : kFaults) {
            SCOPED_TRACE(std::string(k.name) + " / " + f.name);
            const std::string received = f.received(k, previous);
            const JudgedRead read =
                judge_read(received, sent.newest_first(), expected_answers(k.request));
            switch (f.want) {
                case Want::TheAnswer:
                    ASSERT_EQ(read.verdict, ReadVerdict::Answer);
                    EXPECT_EQ(hex_pairs(read.frame), hex_pairs(k.answer));
                    EXPECT_EQ(read.skipped, f.skipped);
                    break;
                case Want::Silence:
                    EXPECT_EQ(read.verdict, ReadVerdict::Silence);
                    break;
                case Want::Nothing:
                    EXPECT_NE(read.verdict, ReadVerdict::Answer) << hex_pairs(read.frame);
                    break;
            }
        }
    }
}

TEST(JudgeRead, WhatIsNotAnAnswerIsToldApart) {
    SentRequests sent;
    sent.add(kReadingsRequest);
    const Expectation readings = expected_answers(kReadingsRequest);
    const auto verdict = [&](const std::string& received) {
        return judge_read(received, sent.newest_first(), readings).verdict;
    };
    EXPECT_EQ(verdict(""), ReadVerdict::Silence);
    EXPECT_EQ(verdict("+CSQ: 17,0\r\n"), ReadVerdict::NotAFrame);
    EXPECT_EQ(verdict(make_frame({0x3E, 0x00, 0x99})), ReadVerdict::Unknown);
    EXPECT_EQ(verdict(make_frame({0x3E, 0x00, 0xF5})), ReadVerdict::Unexpected);
    // «Wrong password» may answer any sensor command; a request without an answer of its own
    // (the network poll) takes any known answer.
    EXPECT_EQ(verdict(make_frame({0x3E, 0x00, 0xFD})), ReadVerdict::Answer);
    EXPECT_EQ(
        judge_read(make_frame({0x3E, 0x00, 0xF5}), {}, expected_answers(make_frame({0x31, 0xFF})))
            .verdict,
        ReadVerdict::Answer);
    // An answer whose first bytes equal its request by chance is still the answer.
    const Frame lookalike = make_frame({0x3E, 0xCA, 0xA0, 0xD6, 0x55, 0x66});
    SentRequests live;
    live.add(kLiveRequest);
    const JudgedRead read =
        judge_read(lookalike, live.newest_first(), expected_answers(kLiveRequest));
    ASSERT_EQ(read.verdict, ReadVerdict::Answer);
    EXPECT_EQ(read.frame, lookalike);
}

}  // namespace
}  // namespace velkon
