#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <variant>

#include "events_summary.h"
#include "system/files.h"
#include "test_support.h"

namespace pelorin::test {
namespace {

const std::string HEADER =
    "onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\ttone_bar\tletter_bar\t"
    "quit_answer\tonset_source\n";

// A dual block: two tones and two letters, answered right, wrong, right and late, a key on a closed
// channel, a quit question answered No in the middle of an answer, a right answer after it, a key of no
// channel, and the time-up ending.
const std::string DUAL_BLOCK =
    "1.000000\tn/a\tblock_start\t3\tdual\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a\n"
    "1.000000\tn/a\tletter\t3\tdual\tB\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a\n"
    "1.000000\t0.100000\ttone\t3\tdual\t500Hz\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\taudio_clock\n"
    "1.300000\tn/a\tresponse\t3\tdual\t500Hz\ts\ttone\t1\t0.300000\t0.281\t0.338\tn/a\tn/a\n"
    "1.325000\t0.100000\ttone\t3\tdual\t200Hz\tn/a\tn/a\tn/a\tn/a\t0.281\t0.338\tn/a\taudio_plan\n"
    "1.400000\tn/a\tresponse\t3\tdual\tB\tb\tletter\t0\t0.400000\t0.281\t0.341\tn/a\tn/a\n"
    "1.425000\tn/a\tletter\t3\tdual\tA\tn/a\tn/a\tn/a\tn/a\t0.284\t0.341\tn/a\tn/a\n"
    "1.625000\tn/a\tresponse\t3\tdual\t200Hz\tx\ttone\t1\t0.300000\t0.232\t0.345\tn/a\tn/a\n"
    "1.650000\t0.100000\ttone\t3\tdual\t800Hz\tn/a\tn/a\tn/a\tn/a\t0.232\t0.345\tn/a\taudio_clock\n"
    "1.900000\tn/a\tresponse\t3\tdual\tn/a\tx\ttone\tn/a\tn/a\t0.240\t0.352\tn/a\tn/a\n"
    "2.000000\t1.500000\tquit_question\t3\tdual\tn/a\tn/a\tn/a\tn/a\tn/a\t0.243\t0.355\tno\tn/a\n"
    "3.650000\tn/a\tresponse\t3\tdual\t800Hz\tw\ttone\t1\t2.000000\t0.243\t0.355\tn/a\tn/a\n"
    "3.700000\tn/a\tresponse\t3\tdual\tn/a\t\xC3\xA9\tn/a\tn/a\tn/a\t0.245\t0.357\tn/a\tn/a\n"
    "61.000000\tn/a\ttime_up\t3\tdual\tn/a\tn/a\tn/a\tn/a\tn/a\t0.990\t0.999\tn/a\tn/a\n";

TEST(EventsSummaryTest, ReadsAFileBackAsWrittenAndSummarisesEachBlock) {
    auto read = ReadEvents(HEADER + DUAL_BLOCK);
    ASSERT_TRUE(std::holds_alternative<std::vector<EventRow>>(read)) << std::get<std::string>(read);
    DatasetRun run{"sub-7", 2, "", std::get<std::vector<EventRow>>(read), {}};
    const auto& rows = run.rows;
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows[3].onsetMicros, 1300000);
    EXPECT_EQ(rows[3].responseMicros, 300000);
    EXPECT_EQ(rows[3].correct, true);
    EXPECT_EQ(rows[3].stimulus, "500Hz");
    EXPECT_EQ(rows[4].onsetSource, "audio_plan");
    EXPECT_EQ(rows[9].correct, std::nullopt);
    EXPECT_EQ(rows[10].quitAnswer, "no");
    EXPECT_EQ(rows[10].durationMicros, 1500000);
    EXPECT_EQ(rows[12].key, "\xC3\xA9");
    // Three tones, all answered right; the answer that spans the quit question is left out of the median,
    // the middle of 0.3 and 0.3. Two letters, one answered wrong. One key on the closed tone channel, and
    // one of no channel in a row of its own.
    std::vector<SummaryRow> summary = Summarize(run);
    EXPECT_EQ(FormatTable(summary),
              "participant  run  block  task    ended      channel  presented  answered  correct  share correct  "
              "median RT (s)  keys unanswered  quit question (s)\n"
              "sub-7          2      3  dual    time_up    tone             3         3        3          1.000  "
              "        0.300                1              1.500\n"
              "                                            letter           2         1        0          0.000  "
              "            -                0\n"
              "                                            none             0         0        0              -  "
              "            -                1\n");
    EXPECT_EQ(FormatCsv(summary),
              "participant_id,run,block,task,ended,channel,presented,answered,correct,share_correct,median_rt_correct,"
              "keys_unanswered,quit_question_time,frames_shown,frames_late\n"
              "sub-7,2,3,dual,time_up,tone,3,3,3,1.000,0.300000,1,1.500000,NA,NA\n"
              "sub-7,2,3,dual,time_up,letter,2,1,0,0.000,NA,0,1.500000,NA,NA\n"
              "sub-7,2,3,dual,time_up,none,0,0,0,NA,NA,1,1.500000,NA,NA\n");
    // A run killed in a block: the block has no ending.
    auto cut = ReadEvents(HEADER + DUAL_BLOCK.substr(0, DUAL_BLOCK.find("1.900000")));
    DatasetRun cutRun{"sub-7", 1, "", std::get<std::vector<EventRow>>(cut), {}};
    EXPECT_EQ(Summarize(cutRun).front().ended, "not_ended");
}

TEST(EventsSummaryTest, RefusesWhatTheProgramDoesNotWriteWithTheLineAndTheReason) {
    struct Case {
        std::string text;
        std::string reason;
    };
    std::string block = "1.000000\tn/a\tblock_start\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a\n";
    auto with = [&](const std::string& row) { return HEADER + block + row; };
    // A row of the tone block with the cells given from trial_type on.
    auto row = [&](const std::string& onset, const std::string& duration, const std::string& rest) {
        return with(onset + "\t" + duration + "\t" + rest + "\n");
    };
    std::vector<Case> cases = {
        {"", "line 1: not the header of an events file ()"},
        {"onset,duration\n", "line 1: not the header of an events file (onset,duration)"},
        // A header of an earlier version: the column value where quit_answer is.
        {"onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\tcorrect\tresponse_time\ttone_bar\t"
         "letter_bar\tvalue\n",
         "line 1: not the header of an events file (onset\tduration\ttrial_type\tblock\ttask\tstimulus\tkey\tchannel\t"
         "correct\tresponse_time\t)"},
        // A row cut off: no line end.
        {HEADER + block.substr(0, 30), "line 2: cut off: it has no line end"},
        {HEADER + "1.000000\tn/a\tblock_start\r\n", "line 2: a carriage return: lines end in a line feed alone"},
        {row("1.0", "n/a", "quit\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a"),
         "line 3: column onset holds \"1.0\", not seconds with six decimals"},
        {with("2.000000\tn/a\tquit\n"), "line 3: 3 columns, not 14"},
        {row("2.000000", "n/a", "quit\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a"),
         "line 3: 15 columns, not 14"},
        {row("2.000000", "n/a", "beep\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a"),
         "line 3: column trial_type holds \"beep\", not one of its levels"},
        // Values an earlier version wrote.
        {row("2.000000", "0.100000", "tone\t1\ttone\t200\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\taudio_clock"),
         "line 3: column stimulus holds \"200\", not one of its levels"},
        {row("2.000000", "n/a", "time_up\t1\ttone+letter\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a"),
         "line 3: column task holds \"tone+letter\", not one of its levels"},
        {row("2.000000", "n/a", "tone\t1\ttone\t200Hz\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\taudio_clock"),
         "line 3: a duration on a row that is no tone or quit_question, or none on one"},
        {row("2.000000", "0.100000", "tone\t1\ttone\t200Hz\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a"),
         "line 3: an onset_source on a row that is no tone or letter, or none on a tone"},
        {row("2.000000", "n/a", "response\t1\ttone\t200Hz\tn/a\ttone\t1\t0.200000\t0.333\t0.333\tn/a\tn/a"),
         "line 3: a key on a row that is no response, or none on a response"},
        {row("2.000000", "n/a", "response\t1\ttone\tn/a\t\"\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a"),
         "line 3: column key holds \"\"\", not text without a quote, a backslash or a line end"},
        {row("2.000000", "n/a", "response\t1\ttone\tn/a\tq\tn/a\tn/a\t0.200000\t0.333\t0.333\tn/a\tn/a"),
         "line 3: a response time on a key that answered nothing"},
        {row("2.000000", "n/a", "response\t1\ttone\tn/a\tx\ttone\t1\t0.200000\t0.333\t0.333\tn/a\tn/a"),
         "line 3: a response that answered nothing with a stimulus, or one that answered without one"},
        {row("2.000000", "n/a", "response\t1\ttone\tA\tx\ttone\t1\t0.200000\t0.333\t0.333\tn/a\tn/a"),
         "line 3: a response scored against a stimulus of the other channel"},
        {row("2.000000", "n/a", "response\t1\ttone\t200Hz\tx\ttone\tyes\t0.200000\t0.333\t0.333\tn/a\tn/a"),
         "line 3: column correct holds \"yes\", not one of its levels"},
        {row("2.000000", "n/a", "time_up\t0\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a"),
         "line 3: column block holds \"0\", not a whole number from 1"},
        {row("2.000000", "n/a", "time_up\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.33\t0.333\tn/a\tn/a"),
         "line 3: column tone_bar holds \"0.33\", not a fraction with three decimals"},
        {row("2.000000", "n/a", "time_up\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a"),
         "line 3: a time_up row outside a block"},
        {row("2.000000", "n/a", "quit_question\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tyes\tn/a"),
         "line 3: a duration on a row that is no tone or quit_question, or none on one"},
        {row("2.000000", "1.000000", "quit_question\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a\tn/a"),
         "line 3: a quit_answer on a row that is no quit_question, or none on one"},
    };
    for (const Case& malformed : cases) {
        auto read = ReadEvents(malformed.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << malformed.reason;
        EXPECT_EQ(std::get<std::string>(read), malformed.reason);
    }
}

// A dataset read whole: every subject's runs in the order people count them, their participant and run
// from the files' names, and a malformed line named with its file, line and reason while the rest is read.
TEST(EventsSummaryTest, ReadsADatasetRunByRunAndNamesTheFileItRefuses) {
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        std::filesystem::path path = dir.path + "/" + name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    };
    write("sub-10/beh/sub-10_task-dualtask_events.tsv", HEADER + DUAL_BLOCK);
    write("sub-2/beh/sub-2_task-dualtask_run-2_events.tsv", HEADER + DUAL_BLOCK);
    write("sub-2/beh/sub-2_task-dualtask_events.tsv", HEADER);
    write("sub-3/beh/sub-3_task-dualtask_events.tsv", HEADER + "1.000000\tn/a\tbeep\n");
    // An earlier version's file at the top is no part of the dataset.
    write("sub-4_task-dualtask_events.tsv", "onset\tvalue\n");
    Dataset dataset = ReadDataset(dir.path);
    std::vector<std::string> runs;
    for (const DatasetRun& run : dataset.runs) runs.push_back(run.participantId + " " + std::to_string(run.run));
    // sub-3's broken line is skipped and named, its run kept (with no row).
    EXPECT_EQ(runs, (std::vector<std::string>{"sub-2 1", "sub-2 2", "sub-3 1", "sub-10 1"}));
    EXPECT_EQ(dataset.errors,
              (std::vector<std::string>{JoinPath(dir.path, "sub-3/beh/sub-3_task-dualtask_events.tsv") +
                                        ": line 2: 3 columns, not 14"}));
    std::string csv = FormatCsv(Summarize(dataset.runs[1]));
    EXPECT_NE(csv.find("\nsub-2,2,3,dual,time_up,tone,3,3,3,"), std::string::npos) << csv;
    // A run with no block has no rows.
    EXPECT_TRUE(Summarize(dataset.runs[0]).empty());
}

// The frames of each block come from the sidecar beside the events file: a sidecar of an earlier
// version (no BlockFrames), none at all, a display that stamped no refresh and a list a hand spoiled
// are read without complaint, each block getting what can be read of its own entry.
TEST(EventsSummaryTest, ReadsEachBlocksFramesFromTheSidecarWhereItHasThem) {
    TempDir dir;
    auto write = [&](const std::string& name, const std::string& text) {
        std::filesystem::path path = dir.path + "/" + name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    };
    const std::string head = "{\n  \"TaskName\": \"dualtask\",\n  \"StimulusPresentation\": {\"Notes\": \"BlockFrames\"},\n";
    const std::string tail = "  \"onset\": {\"Description\": \"n/a\"}\n}\n";
    for (const char* id : {"1", "2", "3", "4", "5"}) {
        write(std::string("sub-") + id + "/beh/sub-" + id + "_task-dualtask_events.tsv", HEADER + DUAL_BLOCK);
    }
    // Counted, at CR LF line ends as an editor may save it, beside a block the events file lacks.
    std::string counted = head + "  \"BlockFrames\": [\n    {\"Block\": 2, \"Task\": \"letter\", \"FrameStamp\": "
                                 "\"display_refresh\", \"FramesShown\": 3601, \"FramesLate\": 0},\n    {\"FramesLate\": 2, "
                                 "\"Block\": 3, \"Task\": \"dual\", \"FrameStamp\": \"display_refresh\", \"FramesShown\": 3590}\n  ],\n" + tail;
    for (size_t at = 0; (at = counted.find('\n', at)) != std::string::npos; at += 2) counted.insert(at, "\r");
    write("sub-1/beh/sub-1_task-dualtask_events.json", counted);
    write("sub-2/beh/sub-2_task-dualtask_events.json", head + tail);
    write("sub-3/beh/sub-3_task-dualtask_events.json",
          head + "  \"BlockFrames\": [{\"Block\": 3, \"Task\": \"dual\", \"FrameStamp\": \"present_call\"}],\n" + tail);
    write("sub-4/beh/sub-4_task-dualtask_events.json",
          head + "  \"BlockFrames\": [{\"Block\": 3, \"FramesShown\": 12, \"FramesLate\": 1}, {\"Block\": 4, \"Fra");
    Dataset dataset = ReadDataset(dir.path);
    EXPECT_TRUE(dataset.errors.empty()) << dataset.errors.front();
    ASSERT_EQ(dataset.runs.size(), 5u);
    EXPECT_EQ(dataset.runs[0].frames.size(), 2u);
    EXPECT_EQ(dataset.runs[2].frames[3].stamp, "present_call");
    std::string csv;
    std::vector<SummaryRow> rows;
    for (const DatasetRun& run : dataset.runs) {
        std::vector<SummaryRow> summary = Summarize(run);
        csv += FormatCsv(summary).substr(FormatCsv({}).size());
        rows.insert(rows.end(), summary.begin(), summary.end());
    }
    for (const char* row : {"sub-1,1,3,dual,time_up,tone,3,3,3,1.000,0.300000,1,1.500000,3590,2\n",
                            "sub-2,1,3,dual,time_up,tone,3,3,3,1.000,0.300000,1,1.500000,NA,NA\n",
                            "sub-3,1,3,dual,time_up,tone,3,3,3,1.000,0.300000,1,1.500000,NA,NA\n",
                            "sub-4,1,3,dual,time_up,letter,2,1,0,0.000,NA,0,1.500000,12,1\n",
                            "sub-5,1,3,dual,time_up,none,0,0,0,NA,NA,1,1.500000,NA,NA\n"}) {
        EXPECT_NE(csv.find(row), std::string::npos) << row << csv;
    }
    // The table has the column once a block has counts, on each block's first line.
    std::string table = FormatTable(rows);
    EXPECT_NE(table.find("quit question (s)  frames late\nsub-1 "), std::string::npos) << table;
    EXPECT_NE(table.find("1.500    2 of 3590\n "), std::string::npos) << table;
    EXPECT_NE(table.find("1.500            -\n "), std::string::npos) << table;
}

// An even count of correct answers: the median is the mean of the two middle ones, not either of them.
TEST(EventsSummaryTest, TheMedianOfTwoAnswersIsTheirMean) {
    TempDir dir;
    std::filesystem::path path = dir.path + "/sub-1/beh/sub-1_task-dualtask_events.tsv";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        << HEADER
        << "1.000000\tn/a\tblock_start\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\tn/a\n"
           "1.000000\t0.100000\ttone\t1\ttone\t500Hz\tn/a\tn/a\tn/a\tn/a\t0.333\t0.333\tn/a\taudio_clock\n"
           "1.300000\tn/a\tresponse\t1\ttone\t500Hz\ts\ttone\t1\t0.300000\t0.290\t0.333\tn/a\tn/a\n"
           "1.325000\t0.100000\ttone\t1\ttone\t200Hz\tn/a\tn/a\tn/a\tn/a\t0.290\t0.333\tn/a\taudio_clock\n"
           "1.525000\tn/a\tresponse\t1\ttone\t200Hz\tx\ttone\t1\t0.200000\t0.250\t0.333\tn/a\tn/a\n"
           "61.000000\tn/a\ttime_up\t1\ttone\tn/a\tn/a\tn/a\tn/a\tn/a\t0.990\t0.333\tn/a\tn/a\n";
    Dataset dataset = ReadDataset(dir.path);
    ASSERT_EQ(dataset.runs.size(), 1u) << (dataset.errors.empty() ? "" : dataset.errors.front());
    std::vector<SummaryRow> summary = Summarize(dataset.runs.front());
    auto tone = std::find_if(summary.begin(), summary.end(), [](const SummaryRow& row) { return row.channel == "tone"; });
    ASSERT_NE(tone, summary.end());
    EXPECT_EQ(tone->correct, 2);
    EXPECT_EQ(tone->medianRtCorrectMicros, 250000);
}

}  // namespace
}  // namespace pelorin::test
