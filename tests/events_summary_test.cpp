#include <gtest/gtest.h>

#include <variant>

#include "events_summary.h"

namespace pelorin::test {
namespace {

const std::string HEADER =
    "onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\ttone_bar\tletter_bar\t"
    "value\n";

// A dual block: two tones and two letters, answered right, wrong, right and late, then a key on a closed
// channel, a quit question answered No, and the time-up ending.
const std::string DUAL_BLOCK =
    "1.000000\tn/a\tblock_start\t3\ttone+letter\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"
    "1.000000\tn/a\tletter\t3\ttone+letter\tB\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"
    "1.000000\t0.100000\ttone\t3\ttone+letter\t500\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"
    "1.300000\tn/a\tresponse\t3\ttone+letter\tn/a\ts\ttone\t1\t0.300000\t0.281\t0.338\tn/a\n"
    "1.325000\t0.100000\ttone\t3\ttone+letter\t200\tn/a\tn/a\tn/a\tn/a\t0.281\t0.338\tn/a\n"
    "1.400000\tn/a\tresponse\t3\ttone+letter\tn/a\tb\tletter\t0\t0.400000\t0.281\t0.341\tn/a\n"
    "1.425000\tn/a\tletter\t3\ttone+letter\tA\tn/a\tn/a\tn/a\tn/a\t0.284\t0.341\tn/a\n"
    "1.625000\tn/a\tresponse\t3\ttone+letter\tn/a\tx\ttone\t1\t0.300000\t0.232\t0.345\tn/a\n"
    "1.900000\tn/a\tresponse\t3\ttone+letter\tn/a\tx\ttone\tn/a\tn/a\t0.240\t0.352\tn/a\n"
    "2.000000\tn/a\tquit_question\t3\ttone+letter\tn/a\tn/a\tn/a\tn/a\tn/a\t0.243\t0.355\tno\n"
    "61.000000\tn/a\ttime_up\t3\ttone+letter\tn/a\tn/a\tn/a\tn/a\tn/a\t0.990\t0.999\tn/a\n";

TEST(EventsSummaryTest, ReadsAFileBackAsWrittenAndSummarisesEachBlock) {
    auto read = ReadEvents(HEADER + DUAL_BLOCK);
    ASSERT_TRUE(std::holds_alternative<std::vector<EventRow>>(read)) << std::get<std::string>(read);
    const auto& rows = std::get<std::vector<EventRow>>(read);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[3].onsetMicros, 1300000);
    EXPECT_EQ(rows[3].responseMicros, 300000);
    EXPECT_EQ(rows[3].correct, true);
    EXPECT_EQ(rows[8].correct, std::nullopt);
    EXPECT_EQ(rows[9].value, "no");
    // Two tones, both answered right, their median the middle of 0.3 and 0.3; two letters, one answered
    // wrong; one key on the closed tone channel.
    EXPECT_EQ(Summarize(rows),
              "block  task         ended      channel  presented  answered  share correct  median RT (s)  keys unanswered\n"
              "    3  tone+letter  time_up    tone             2         2          1.000          0.300                1\n"
              "                               letter           2         1          0.000              -                0\n");
    // A run killed in a block: the block has no ending.
    auto cut = ReadEvents(HEADER + DUAL_BLOCK.substr(0, DUAL_BLOCK.find("1.900000")));
    EXPECT_NE(Summarize(std::get<std::vector<EventRow>>(cut)).find("tone+letter  not ended"), std::string::npos);
}

TEST(EventsSummaryTest, RefusesWhatTheProgramDoesNotWriteWithTheLineAndTheReason) {
    struct Case {
        std::string text;
        std::string reason;
    };
    std::string block = "1.000000\tn/a\tblock_start\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n";
    auto with = [&](const std::string& row) { return HEADER + block + row; };
    std::vector<Case> cases = {
        {"", "line 1: not the header of an events file ()"},
        {"onset,duration\n", "line 1: not the header of an events file (onset,duration)"},
        // A row cut off: no line end.
        {HEADER + block.substr(0, 30), "line 2: cut off: it has no line end"},
        {HEADER + "1.000000\tn/a\tblock_start\r\n", "line 2: a carriage return: lines end in a line feed alone"},
        {with("1.0\tn/a\tquit\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\n"),
         "line 3: column onset holds \"1.0\", not seconds with six decimals"},
        {with("2.000000\tn/a\tquit\n"), "line 3: 3 columns, not 13"},
        {with("2.000000\tn/a\tquit\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\n"),
         "line 3: more than 13 columns"},
        {with("2.000000\tn/a\tbeep\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"),
         "line 3: column trial_type holds \"beep\", not one of its levels"},
        {with("2.000000\t0.100000\ttone\t1\ttone\t300\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"),
         "line 3: column stimulus holds \"300\", not one of its levels"},
        {with("2.000000\tn/a\ttone\t1\ttone\t200\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"),
         "line 3: a duration on a row that is no tone, or none on a tone"},
        {with("2.000000\tn/a\tresponse\t1\ttone\tn/a\tn/a\ttone\t1\t0.200000\t0.333\t0.333\tn/a\n"),
         "line 3: a key on a row that is no response, or none on a response"},
        {with("2.000000\tn/a\tresponse\t1\ttone\tn/a\tq\tn/a\tn/a\t0.200000\t0.333\t0.333\tn/a\n"),
         "line 3: a response time on a key that answered nothing"},
        {with("2.000000\tn/a\tresponse\t1\ttone\tn/a\tx\ttone\tyes\t0.200000\t0.333\t0.333\tn/a\n"),
         "line 3: column correct holds \"yes\", not one of its levels"},
        {with("2.000000\tn/a\ttime_up\t0\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\n"),
         "line 3: column block holds \"0\", not a block number"},
        {with("2.000000\tn/a\ttime_up\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.33\t0.333\tn/a\n"),
         "line 3: column tone_bar holds \"0.33\", not a fraction with three decimals"},
        {with("2.000000\tn/a\ttime_up\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\n"),
         "line 3: a time_up row outside a block"},
        {with("2.000000\tn/a\tquit_question\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\n"),
         "line 3: a value on a row that is no quit_question, or none on one"},
    };
    for (const Case& malformed : cases) {
        auto read = ReadEvents(malformed.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << malformed.reason;
        EXPECT_EQ(std::get<std::string>(read), malformed.reason);
    }
}

}  // namespace
}  // namespace pelorin::test
