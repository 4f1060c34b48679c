#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <variant>

#include "event_rows.h"
#include "events_summary.h"
#include "lab.h"
#include "posix_child.h"
#include "records/dataset.h"
#include "records/event_columns.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* EVENTS_NAME = "Res_Data/sub-12/beh/sub-12_task-dualtask_events.tsv";

std::string Bar(float height) {
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", height / 11520.0);
    return text;
}

std::string Bar(std::optional<double> fraction) {
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", fraction.value_or(-1));
    return text;
}

// Types the subject's entries and Enter from the given virtual time; returns the time of the Enter.
int64_t Register(HeadlessHost& host, int64_t at, const std::string& id = "12") {
    at = host.ScheduleText(at, id);
    host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at, "kvt");
    host.Schedule(at++, InputEvent::KeyDown(KEY_TAB));
    at = host.ScheduleText(at, "1");
    host.Schedule(at, InputEvent::KeyPress(KEY_RETURN));
    return at;
}

// Clicks through the instructions whenever they come up.
void ContinueThroughInstructions(Lab& lab, const TraceEntry& entry) {
    if (entry.what != "top Instruction") return;
    lab.host.Schedule(entry.Millis() + 500, InputEvent::Click(lab.experiment.Instruction().Command1));
    lab.host.Schedule(entry.Millis() + 1500, InputEvent::Click(lab.experiment.Instruction().Command1));
}

TEST(ResultsTest, AWholeRunIsInTheEventsFileRowByRow) {
    Lab lab(100);
    // Saved by an older Windows editor: CR LF and a Windows-1252 dash.
    std::ofstream(lab.dir.path + "/instruction.txt") << "Answer the \"tones\"\r\nand the letters \x96 fast.";
    SimulatedSubject subject(lab.host);
    // Every fourth answer wrong.
    subject.wrongEvery = 4;
    // Keys that answer nothing: (time, key, channel).
    std::vector<std::tuple<int64_t, char, std::string>> idleKeys;
    auto idleKey = [&](int64_t at, char key, const std::string& channel) {
        idleKeys.emplace_back(at, key, channel);
        lab.host.Schedule(at, InputEvent::KeyPress(key));
    };
    int menus = 0;
    int tones = 0;
    int64_t escNo = -1;
    int64_t escYes = -1;
    std::map<std::string, int64_t> starts;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        ContinueThroughInstructions(lab, entry);
        const std::string& what = entry.what;
        int64_t at = entry.Millis();
        if (what.starts_with("top ") && what.ends_with("Task") && !starts.contains(what)) {
            starts[what] = at;
            if (what == "top ToneTask") {
                // In the tone block a letter key and a key that is no answer.
                idleKey(at + 1000, 'b', "letter");
                idleKey(at + 1001, 'q', "");
            } else if (what == "top LetterTask") {
                // The quit question in the letter block, answered No.
                escNo = at + 20000;
                lab.host.Schedule(escNo, InputEvent::KeyPress(KEY_ESCAPE));
                lab.host.AnswerMessageBox(ID_NO);
            }
        }
        // Now and then a second tone key right after an answer: its channel has closed.
        if (subject.listening && what.starts_with("sound wave/") && !what.starts_with("sound wave/error") &&
            ++tones % 5 == 0) {
            idleKey(at + 210, 'x', "tone");
        }
        if (what == "show Display.Label1 \"Conutinue?\"") {
            subject.listening = false;
            if (++menus == 1) {
                lab.host.Schedule(at + 500, InputEvent::Click(lab.experiment.Display().Command1[0]));
            } else {
                escYes = at + 500;
                lab.host.Schedule(escYes, InputEvent::KeyPress(KEY_ESCAPE));
                lab.host.AnswerMessageBox(ID_YES, 300);
            }
        }
    };
    int64_t recorded = Register(lab.host, 10);
    EXPECT_THROW(lab.experiment.Run(), ProgramEnded);
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 12 kvt 1 \r\n");
    EXPECT_TRUE(lab.host.Find("msgbox 48").empty());

    std::vector<EventRow> rows = ReadRows(lab.dir.path + "/" + EVENTS_NAME);
    ASSERT_FALSE(rows.empty());
    auto micros = [&](int64_t millis) { return (millis - recorded) * 1000; };
    const char* tasks[] = {"tone", "letter", "dual", "tone"};
    const char* screens[] = {"ToneTask", "LetterTask", "Tone_LetterTask", "ToneTask"};

    // What the subject heard and saw, from the trace: every tone and every drawn letter.
    std::vector<TraceEntry> heard;
    for (const TraceEntry& entry : lab.host.Find("sound wave/")) {
        if (!entry.what.starts_with("sound wave/error")) heard.push_back(entry);
    }
    std::vector<int64_t> screensUp;
    for (const TraceEntry& entry : lab.host.Find("top ")) {
        if (entry.what.ends_with("Task")) screensUp.push_back(entry.Millis());
    }
    auto duringTone = [&](int64_t at) {
        for (const TraceEntry& tone : heard) {
            if (at >= tone.Millis() && at < tone.Millis() + 100) return true;
        }
        return false;
    };
    size_t nextTone = 0;
    size_t nextPress = 0;
    size_t nextIdle = 0;
    std::map<int, int64_t> blockStarts;
    std::map<int, int64_t> blockEnds;
    int64_t lastOnset = 0;
    int64_t letterOnset = -1;
    // The stimuli last presented: what an answer is scored against.
    std::string lastTone;
    std::string lastLetter;
    // Letters answered since the last letter row; -1 before the block's first letter.
    int lettersAnswered = -1;
    int block = 0;
    std::vector<std::string> kinds;
    for (size_t i = 0; i < rows.size(); ++i) {
        const EventRow& row = rows[i];
        SCOPED_TRACE("row " + std::to_string(i + 2) + " " + row.trialType + " at " + std::to_string(row.onsetMicros));
        // In the order they happened.
        EXPECT_GE(row.onsetMicros, lastOnset);
        lastOnset = row.onsetMicros;
        if (kinds.empty() || kinds.back() != row.trialType) kinds.push_back(row.trialType);
        if (row.trialType == "block_start") {
            ++block;
            ASSERT_LE(block, 4);
            EXPECT_EQ(row.block, block);
            EXPECT_EQ(row.task, tasks[block - 1]);
            // The block starts as its screen comes up, the bars at a third of the display's height.
            ASSERT_LE(block, static_cast<int>(screensUp.size()));
            EXPECT_EQ(row.onsetMicros, micros(screensUp[block - 1]));
            EXPECT_EQ(Bar(row.toneBar), "0.333");
            EXPECT_EQ(Bar(row.letterBar), "0.333");
            blockStarts[block] = row.onsetMicros;
            letterOnset = -1;
            lettersAnswered = -1;
            continue;
        }
        if (row.trialType == "quit_question" || row.trialType == "quit") {
            // No asked in the letter block; Yes on the menu, outside any block, the program ending as
            // it is answered.
            bool no = row.trialType == "quit_question" && row.quitAnswer == "no";
            EXPECT_EQ(row.block, no ? std::optional<int>(2) : std::nullopt);
            EXPECT_EQ(row.onsetMicros, micros(no ? escNo : row.trialType == "quit" ? escYes + 300 : escYes));
            // How long the question was up: No at once, Yes after 300 ms.
            if (row.trialType == "quit_question") {
                EXPECT_EQ(row.durationMicros, no ? 0 : 300000);
            }
            continue;
        }
        EXPECT_EQ(row.block, block);
        EXPECT_EQ(row.task, tasks[block - 1]);
        if (row.trialType == "tone") {
            ASSERT_LT(nextTone, heard.size());
            const TraceEntry& tone = heard[nextTone++];
            EXPECT_EQ(row.onsetMicros, micros(tone.Millis()));
            ASSERT_TRUE(row.stimulus.ends_with("Hz"));
            EXPECT_EQ(tone.what, "sound wave/" + row.stimulus.substr(0, row.stimulus.size() - 2) + ".wav");
            EXPECT_EQ(row.durationMicros, 100000);
            // The test host knows every onset exactly, and plays none of them to an output.
            EXPECT_EQ(row.onsetSource, "virtual_clock");
            lastTone = row.stimulus;
        } else if (row.trialType == "letter") {
            // The letter on show is the one drawn last at or before its onset, and one letter follows
            // each letter answered.
            std::string screen = screens[block - 1];
            std::string shown;
            for (const TraceEntry& entry : lab.host.Trace()) {
                if (entry.micros > row.onsetMicros + recorded * 1000) break;
                if ((entry.what.starts_with("show " + screen + ".Label1 ") || entry.what.starts_with("change " + screen + ".Label1 "))) {
                    shown = entry.what.substr(entry.what.find('"') + 1, 1);
                }
            }
            EXPECT_EQ(shown, row.stimulus);
            if (lettersAnswered >= 0) {
                EXPECT_EQ(lettersAnswered, 1);
            }
            lettersAnswered = 0;
            letterOnset = row.onsetMicros;
            lastLetter = row.stimulus;
        } else if (row.trialType == "response") {
            // The subject's answers and the keys that answer nothing, each in turn, at the time it was
            // typed.
            bool idle = nextIdle < idleKeys.size() &&
                        (nextPress >= subject.presses.size() ||
                         micros(std::get<0>(idleKeys[nextIdle])) < micros(subject.presses[nextPress].at));
            if (idle) {
                auto [at, key, channel] = idleKeys[nextIdle++];
                EXPECT_EQ(row.onsetMicros, micros(at));
                EXPECT_EQ(row.key, std::string(1, key));
                EXPECT_EQ(row.channel, channel);
                EXPECT_EQ(row.correct, std::nullopt);
                EXPECT_EQ(row.responseMicros, std::nullopt);
                EXPECT_EQ(row.stimulus, "");
                continue;
            }
            ASSERT_LT(nextPress, subject.presses.size());
            const SimulatedSubject::Pressed& press = subject.presses[nextPress++];
            EXPECT_EQ(row.onsetMicros, micros(press.at));
            EXPECT_EQ(row.key, std::string(1, press.key));
            bool tone = std::string("xsw").find(press.key) != std::string::npos;
            EXPECT_EQ(row.channel, tone ? "tone" : "letter");
            if (blockEnds.contains(block)) {
                // Typed after the block ended: it answers nothing.
                EXPECT_EQ(row.correct, std::nullopt);
                continue;
            }
            EXPECT_EQ(row.correct, press.right);
            EXPECT_EQ(row.stimulus, tone ? lastTone : lastLetter);
            if (tone) {
                EXPECT_EQ(row.responseMicros, 200000);
            } else {
                ++lettersAnswered;
                EXPECT_EQ(row.responseMicros, row.onsetMicros - letterOnset);
                // A letter seen as it came up is answered 150 ms later.
                if (row.responseMicros != 150000) {
                    EXPECT_EQ(block, 3) << "only the dual block repeats a letter unseen";
                }
            }
            // A right answer lowers its bar as drawn at once.
            float drawn = lab.HeightAt(screens[block - 1] + std::string(tone ? ".Shape1" : ".Shape2"), press.at);
            if (press.right && !duringTone(press.at)) {
                EXPECT_EQ(Bar(tone ? row.toneBar : row.letterBar), drawn < 0 ? "0.000" : Bar(drawn));
            }
        } else if (row.trialType == "time_up" || row.trialType == "overflow") {
            // The first three blocks run their 60 s; the menu's block, unanswered, overflows at the 256th
            // growth tick, one tick late: its first tone held the bars.
            EXPECT_EQ(row.trialType, block < 4 ? "time_up" : "overflow");
            EXPECT_EQ(row.onsetMicros - blockStarts[block], block < 4 ? 60000000 : 257 * 35000);
            if (block == 4) {
                EXPECT_EQ(Bar(row.toneBar), "1.000");
            }
            blockEnds[block] = row.onsetMicros;
        }
    }
    EXPECT_EQ(block, 4);
    EXPECT_EQ(nextTone, heard.size()) << "every tone has its row";
    EXPECT_EQ(nextPress, subject.presses.size()) << "every answer has its row";
    EXPECT_EQ(nextIdle, idleKeys.size()) << "every key that answers nothing has its row";
    EXPECT_EQ(kinds.back(), "quit");
    EXPECT_EQ(rows[rows.size() - 2].trialType, "quit_question");
    EXPECT_EQ(rows[rows.size() - 2].quitAnswer, "yes");

    // The summary reads the dataset back: its four blocks, the last one overflowing unanswered.
    Dataset dataset = ReadDataset(lab.dir.path + "/Res_Data");
    EXPECT_TRUE(dataset.errors.empty()) << dataset.errors.front();
    ASSERT_EQ(dataset.runs.size(), 1u);
    std::vector<SummaryRow> summary = Summarize(dataset.runs[0]);
    std::string table = FormatCsv(summary);
    EXPECT_NE(table.find("\nsub-12,1,1,tone,time_up,tone,"), std::string::npos) << table;
    EXPECT_NE(table.find("\nsub-12,1,2,letter,time_up,letter,"), std::string::npos) << table;
    EXPECT_NE(table.find("\nsub-12,1,3,dual,time_up,tone,"), std::string::npos) << table;
    EXPECT_NE(table.find("\nsub-12,1,4,tone,overflow,tone,1,0,0,NA,NA,0,"), std::string::npos) << table;
    // The tone block's stray q is a key of no channel, unanswered.
    EXPECT_NE(table.find("\nsub-12,1,1,tone,time_up,none,0,0,0,NA,NA,1,"), std::string::npos) << table;

    // The sidecar tells on what display and system the run was; the subject's facts are in the tables.
    std::string sidecar =
        ReadWholeFile(lab.dir.path + "/Res_Data/sub-12/beh/sub-12_task-dualtask_events.json").value_or("");
    // The task and the instructions as the subject read them, where BIDS looks for them.
    for (const char* fact : {"\"ScreenResolution\": [1024, 768]", "\"SoftwareName\": \"Pelorin\"",
                             "\"response_time\": {", "\"onset_source\": {", "{\n  \"TaskName\": \"dualtask\",\n",
                             "\"TaskDescription\": \"One subject at a time hears tones",
                             "\"Instructions\": \"Answer the \\\"tones\\\"\\u000aand the letters \xE2\x80\x93 fast.\",\n"}) {
        EXPECT_NE(sidecar.find(fact), std::string::npos) << fact;
    }
    EXPECT_TRUE(sidecar.ends_with("}\n"));
    // The virtual clock stamps no refresh: the blocks are listed, their frames not counted.
    EXPECT_NE(sidecar.find(",\n    \"BlockFrames\": [\n      {\"Block\": 1, \"Task\": \"tone\", \"FrameStamp\": \"virtual_clock\"},\n"),
              std::string::npos) << sidecar;
    EXPECT_EQ(ReadBlockFrames(sidecar).size(), 4u) << sidecar;
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/Res_Data/participants.tsv"), "participant_id\torder_condition\nsub-12\t1\n");
    auto scans = ReadWholeFile(lab.dir.path + "/Res_Data/sub-12/sub-12_scans.tsv").value_or("");
    EXPECT_TRUE(scans.starts_with("filename\tacq_time\tutc_offset\nbeh/sub-12_task-dualtask_events.tsv\t20")) << scans;
    // The initials are in the subject list and nowhere in the dataset.
    for (const auto& entry : fs::recursive_directory_iterator(lab.dir.path + "/Res_Data")) {
        if (!entry.is_regular_file()) continue;
        EXPECT_EQ(ReadWholeFile(entry.path().string()).value_or("").find("kvt"), std::string::npos) << entry.path();
    }
}

// Each block's end replaces the sidecar with one that lists every block's frames so far, counted
// where the display stamps its refreshes; one that cannot be replaced is said in the log, the run goes
// on with the sidecar as it was, and the next block's end lists every block.
TEST(ResultsTest, EachBlocksFramesReachTheSidecarAtItsEnd) {
    Lab lab;
    const std::string beh = lab.dir.path + "/Res_Data/sub-12/beh/";
    const std::string path = beh + "sub-12_task-dualtask_events.json";
    // A 60 Hz display that shows one frame in fifty a refresh late.
    lab.host.countFrames = [&] {
        int64_t shown = lab.host.NowMillis() * 60 / 1000;
        return FrameCounts{shown, shown / 50, 16666.7, FrameStamp::DisplayRefresh};
    };
    SimulatedSubject subject(lab.host);
    const std::string inTheWay = beh + ".sub-12_task-dualtask_events.json.new";
    // The sidecar as each block began.
    std::vector<std::string> atStart;
    std::vector<int64_t> starts;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        ContinueThroughInstructions(lab, entry);
        if (entry.what.starts_with("top ") && entry.what.ends_with("Task")) {
            atStart.push_back(ReadWholeFile(path).value_or("none"));
            starts.push_back(entry.Millis());
            // The second block's end finds a folder in the temporary file's way; the third's does not.
            if (atStart.size() == 2) fs::create_directories(inTheWay + "/kept");
            if (atStart.size() == 3) fs::remove_all(inTheWay);
        }
    };
    lab.experiment.Greet();
    Register(lab.host, 10);
    ::testing::internal::CaptureStderr();
    lab.RunUntilIdle();
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(atStart.size(), 3u);
    EXPECT_TRUE(lab.host.Find("msgbox").empty());

    EXPECT_NE(atStart[0].find(",\n    \"BlockFrames\": []\n  },\n"), std::string::npos) << atStart[0];
    EXPECT_EQ(ReadBlockFrames(atStart[1]).size(), 1u) << atStart[1];
    // Not replaced at the second block's end: the first block's list stands, whole, and the log says so.
    EXPECT_EQ(atStart[2], atStart[1]);
    EXPECT_NE(log.find("the frame counts of block 2 could not be added to " + path), std::string::npos) << log;
    const std::string last = ReadWholeFile(path).value_or("");
    EXPECT_TRUE(last.ends_with("}\n")) << last;
    std::map<int, BlockFrames> blocks = ReadBlockFrames(last);
    ASSERT_EQ(blocks.size(), 3u) << last;
    EXPECT_NE(last.find("{\"Block\": 2, \"Task\": \"letter\", \"FrameStamp\": \"display_refresh\", \"FramesShown\": "),
              std::string::npos) << last;
    // Each block's own frames, not the run's so far: from its start to the next one's, at 60 a second.
    for (int block = 1; block <= 3; ++block) {
        const BlockFrames& frames = blocks[block];
        int64_t span = block < 3 ? starts[block] - starts[block - 1] : lab.host.NowMillis() - starts[2];
        ASSERT_TRUE(frames.shown && frames.late) << block;
        EXPECT_GT(*frames.shown, 60 * 55) << block;
        EXPECT_LE(*frames.shown, span * 60 / 1000 + 1) << block;
        EXPECT_NEAR(static_cast<double>(*frames.late), static_cast<double>(*frames.shown) / 50, 1.5) << block;
    }
    EXPECT_FALSE(fs::exists(inTheWay));
    // The summary reads them beside each block.
    Dataset dataset = ReadDataset(lab.dir.path + "/Res_Data");
    ASSERT_EQ(dataset.runs.size(), 1u);
    std::string csv = FormatCsv(Summarize(dataset.runs[0]));
    EXPECT_NE(csv.find(",letter,time_up,letter,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("," + std::to_string(*blocks[2].shown) + "," + std::to_string(*blocks[2].late) + "\n"),
              std::string::npos) << csv;
}

// The tone block from its first trial, driven key by key: what each response row says it answered,
// the keys that answer nothing by their names, and the quit question's time.
TEST(ResultsTest, AResponseRowSaysWhatItAnsweredAndEveryKeyIsARow) {
    Lab lab(100);
    lab.experiment.Greet();
    Register(lab.host, 10);
    lab.RunUntilIdle();
    std::string lastTone;
    int64_t questionAnswered = -1;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        int64_t at = entry.Millis();
        if (entry.what.starts_with("sound wave/") && !entry.what.starts_with("sound wave/error")) lastTone = entry.what;
        if (entry.what == "top ToneTask") {
            // Before the first tone plays: the channel is armed already, and the key is handled while the
            // tone is drawn.
            lab.host.Schedule(at, InputEvent::KeyPress('x'));
            lab.host.Schedule(at + 500, InputEvent::KeyDown(KEY_TAB));
            int16_t keys[] = {'"', '\\', 0xE9, 0xDF, '\'', ' ', 0xA7};
            for (size_t i = 0; i < std::size(keys); ++i) lab.host.Schedule(at + 510 + 10 * int64_t(i), InputEvent::KeyPress(keys[i]));
            lab.host.Schedule(at + 1000, InputEvent::KeyPress(KEY_ESCAPE));
            lab.host.AnswerMessageBox(ID_NO, 1500);
        } else if (entry.what.starts_with("answer 7")) {
            // Right answers: one to the tone played before the question, one 200 ms after the next tone.
            questionAnswered = at;
            char right = lastTone == "sound wave/200.wav" ? 'x' : lastTone == "sound wave/500.wav" ? 's' : 'w';
            lab.host.Schedule(at + 100, InputEvent::KeyPress(right));
        } else if (questionAnswered >= 0 && at > questionAnswered + 100 && entry.what == lastTone &&
                   entry.what.starts_with("sound wave/")) {
            questionAnswered = -2;
            char right = lastTone == "sound wave/200.wav" ? 'x' : lastTone == "sound wave/500.wav" ? 's' : 'w';
            lab.host.Schedule(at + 200, InputEvent::KeyPress(right));
        }
    };
    lab.SetBlockNumber(3);
    lab.experiment.ToneTask().Start();
    lab.RunUntilIdle();

    std::vector<EventRow> rows = ReadRows(lab.dir.path + "/" + EVENTS_NAME);
    ASSERT_GE(rows.size(), 16u);
    std::vector<TraceEntry> sounds = lab.host.Find("sound wave/");
    ASSERT_GE(sounds.size(), 3u);
    EXPECT_EQ(rows[0].trialType, "block_start");
    // The key before the first tone is scored against the tone drawn for it, which has no onset yet;
    // the next tone drawn then plays twice.
    EXPECT_EQ(rows[1].trialType, "response");
    EXPECT_EQ(rows[1].key, "x");
    ASSERT_TRUE(rows[1].correct.has_value());
    EXPECT_TRUE(rows[1].stimulus.ends_with("Hz"));
    EXPECT_EQ(*rows[1].correct, rows[1].stimulus == "200Hz");
    EXPECT_EQ(rows[1].responseMicros, std::nullopt);
    EXPECT_EQ(rows[1].onsetMicros, rows[0].onsetMicros);
    EXPECT_EQ(rows[2].trialType, "tone");
    EXPECT_EQ(rows[3].trialType, "tone");
    EXPECT_EQ(rows[2].stimulus, rows[3].stimulus);
    EXPECT_EQ(sounds[0].what, sounds[1].what);
    // Every key typed is a row, by a name no reader of tab-separated text stumbles on.
    std::vector<std::string> names;
    for (size_t i = 4; i < 12; ++i) {
        EXPECT_EQ(rows[i].trialType, "response");
        EXPECT_EQ(rows[i].correct, std::nullopt);
        EXPECT_EQ(rows[i].stimulus, "");
        names.push_back(rows[i].key);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"tab", "quote", "backslash", "\xC3\xA9", "\xC3\x9F", "apostrophe",
                                               "space", "\xC2\xA7"}));
    // The quit question: how long it was up.
    EXPECT_EQ(rows[12].trialType, "quit_question");
    EXPECT_EQ(rows[12].quitAnswer, "no");
    EXPECT_EQ(rows[12].durationMicros, 1500000);
    // The answer after it counts from the tone it answered, the question's time inside it; the next one
    // 200 ms after its tone.
    EXPECT_EQ(rows[13].trialType, "response");
    EXPECT_EQ(rows[13].correct, true);
    EXPECT_EQ(rows[13].stimulus, rows[3].stimulus);
    EXPECT_EQ(rows[13].responseMicros, rows[13].onsetMicros - rows[3].onsetMicros);
    EXPECT_GT(*rows[13].responseMicros, 1500000);
    EXPECT_EQ(rows[14].trialType, "tone");
    EXPECT_EQ(rows[15].trialType, "response");
    EXPECT_EQ(rows[15].stimulus, rows[14].stimulus);
    EXPECT_EQ(rows[15].responseMicros, 200000);

    // The summary: the question's time, and a median of the answer that did not span it.
    std::vector<SummaryRow> summary = Summarize(DatasetRun{"sub-12", 1, "", rows});
    ASSERT_FALSE(summary.empty());
    EXPECT_EQ(summary[0].channel, "tone");
    EXPECT_EQ(summary[0].quitQuestionMicros, 1500000);
    EXPECT_EQ(summary[0].answered, 3);
    EXPECT_EQ(summary[0].medianRtCorrectMicros, 200000);
    EXPECT_EQ(summary.back().channel, "none");
    EXPECT_EQ(summary.back().keysUnanswered, 8);
}

void Write(const std::string& path, const std::string& contents) { std::ofstream(path, std::ios::binary) << contents; }

std::string Header() { return TsvHeader(EVENT_COLUMNS); }

TEST(ResultsTest, WhatTheFolderHoldsStaysAndANameTakenGetsTheNextFreeRunNumber) {
    Lab lab;
    std::string root = lab.dir.path + "/Res_Data/";
    std::string folder = root + "sub-12/beh/";
    fs::create_directories(folder);
    // An earlier version's files at the top, a description the lab edited, and the subject's row.
    Write(root + "sub-12_task-dualtask_events.tsv", "earlier version");
    Write(root + "dataset_description.json", "{\"Name\": \"Our lab\"}");
    Write(root + "participants.tsv", "participant_id\torder_condition\nsub-12\t3");
    // An edited list registers 12 again: its first run's events file is there, and run 2's sidecar.
    Write(folder + "sub-12_task-dualtask_events.tsv", "first run");
    Write(folder + "sub-12_task-dualtask_run-2_events.json", "second run");
    lab.experiment.Greet();
    Register(lab.host, 10);
    lab.RunUntilIdle();
    EXPECT_EQ(lab.experiment.results.EventsPath(), folder + "sub-12_task-dualtask_run-3_events.tsv");
    EXPECT_EQ(ReadWholeFile(folder + "sub-12_task-dualtask_run-3_events.tsv"), Header());
    // A run folder without instruction text: the subject read none, and the sidecar records none.
    std::string sidecar = ReadWholeFile(folder + "sub-12_task-dualtask_run-3_events.json").value_or("");
    EXPECT_NE(sidecar.find("\"TaskName\": \"dualtask\""), std::string::npos) << sidecar;
    EXPECT_EQ(sidecar.find("\"Instructions\""), std::string::npos) << sidecar;
    auto scans = ReadWholeFile(root + "sub-12/sub-12_scans.tsv").value_or("");
    EXPECT_TRUE(scans.starts_with("filename\tacq_time\tutc_offset\nbeh/sub-12_task-dualtask_run-3_events.tsv\t"))
        << scans;
    // What was there is untouched, and nothing of the run skipped over is left behind.
    EXPECT_EQ(ReadWholeFile(folder + "sub-12_task-dualtask_events.tsv"), "first run");
    EXPECT_EQ(ReadWholeFile(folder + "sub-12_task-dualtask_run-2_events.json"), "second run");
    EXPECT_FALSE(fs::exists(folder + "sub-12_task-dualtask_run-2_events.tsv"));
    EXPECT_FALSE(fs::exists(folder + "sub-12_task-dualtask_events.json"));
    EXPECT_EQ(ReadWholeFile(root + "sub-12_task-dualtask_events.tsv"), "earlier version");
    EXPECT_EQ(ReadWholeFile(root + "dataset_description.json"), "{\"Name\": \"Our lab\"}");
    // One row per subject ID: the second run keeps the first one's.
    EXPECT_EQ(ReadWholeFile(root + "participants.tsv"), "participant_id\torder_condition\nsub-12\t3");
    // The files the lab did not write are made, and the earlier version's are kept out of validation.
    EXPECT_NE(ReadWholeFile(root + ".bidsignore").value_or("").find("/sub-*_task-*_events.tsv"), std::string::npos);
    EXPECT_TRUE(ReadWholeFile(root + "README").value_or("").starts_with("Pelorin dual-task experiment\n"));
    EXPECT_TRUE(lab.host.Find("msgbox").empty());
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 12 kvt 1 \r\n");
}

// Registers subject 12 in a fresh lab whose Res_Data is made by prepare, and tells what a person saw:
// the message boxes, the screen the run came to, the subject list and what Res_Data holds. run, when
// given, goes on from the instruction screen.
std::string RegisterWithResData(const std::function<void(const std::string& folder)>& prepare,
                                const std::function<void(Lab&)>& run = nullptr) {
    Lab lab;
    std::string folder = lab.dir.path + "/Res_Data";
    prepare(folder);
    lab.experiment.Greet();
    Register(lab.host, 10);
    lab.RunUntilIdle();
    if (run) run(lab);
    std::string seen;
    for (const TraceEntry& box : lab.host.Find("msgbox")) seen += box.what + "\n";
    seen += "top " + std::string(lab.experiment.runtime.ActiveScreen()->Name()) + "\n";
    seen += "list " + ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt").value_or("none") + "\n";
    std::set<std::string> held;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) held.insert(entry.path().filename().string());
    for (const std::string& name : held) seen += "holds " + name + "\n";
    // Each path as the test can tell it, whatever folder the lab had.
    for (size_t at; (at = seen.find(lab.dir.path)) != std::string::npos;) seen.replace(at, lab.dir.path.size(), "DIR");
    umount2(folder.c_str(), MNT_DETACH);
    return seen;
}

// participants.tsv as a lab edits it: the subject's row goes under the header's names, the lab's own
// columns get n/a, its line ends are kept; a table that cannot take the row gets none and a box says
// what to mend, while the subject list and the run's own files are written all the same.
TEST(ResultsTest, TheParticipantsRowGoesUnderTheLabsColumns) {
    struct Registered {
        std::string seen;
        std::string table;
        bool events = false;
    };
    auto registerWith = [](const std::string& table) {
        Registered registered;
        registered.seen = RegisterWithResData(
            [&](const std::string& folder) {
                fs::create_directory(folder);
                Write(folder + "/participants.tsv", table);
            },
            [&](Lab& lab) {
                registered.table = ReadWholeFile(lab.dir.path + "/Res_Data/participants.tsv").value_or("none");
                registered.events = fs::exists(lab.dir.path + "/" + EVENTS_NAME);
            });
        return registered;
    };
    const std::string list = "top Instruction\nlist  12 kvt 1 \r\n\n";

    // Columns added and reordered, saved with CR LF and no end to its last line.
    const std::string reordered = "age\tparticipant_id\tsex\torder_condition\thandedness\r\n23\tsub-3\tF\t2\tR";
    Registered added = registerWith(reordered);
    EXPECT_EQ(added.table, reordered + "\r\nn/a\tsub-12\tn/a\t1\tn/a\r\n");
    EXPECT_TRUE(added.seen.starts_with(list)) << added.seen;

    // A spreadsheet's byte order mark, and the ID's row in another column than the first: it stays the one.
    const std::string held = "\xEF\xBB\xBF" "age\tparticipant_id\torder_condition\n30\tsub-12\t2\n";
    EXPECT_EQ(registerWith(held).table, held);

    // Tables that cannot take the row: each left as it was, with a box that says what to mend; the row
    // waits beside the table, and the run's own files are written all the same.
    const std::string box = "msgbox 48 \"ERROR\" \"participants.tsv cannot take a row as it stands: ";
    const std::string after = ".\\rOnce it is mended, sub-12's row will be added.\\rThe run goes on and is recorded. "
                              "Until then the row waits in DIR/Res_Data/.participants-rows-to-add.tsv; Pelorin adds it "
                              "at the end of a block or of the run, or at the next registration or start.\"\n";
    for (auto [table, reason] : std::initializer_list<std::pair<std::string, std::string>>{
             {"participant_id\tage\nsub-3\t23\n",
              "its header (the first line) has no column order_condition: add it, tab-separated, to the first line"},
             {"participant_id,order_condition\nsub-3,1\n",
              "its header is separated by commas, not tabs: save it as tab-separated text"},
             // The row a version that wrote by position appended under a lab's column.
             {"participant_id\torder_condition\tage\nsub-3\t2\n",
              "line 2 has 2 cells where the header has 3: give it one cell per column, n/a where there is no value"},
             {"participant_id\torder_condition\tparticipant_id\n",
              "its header names the column participant_id twice"},
         }) {
        Registered refused = registerWith(table);
        EXPECT_EQ(refused.table, table);
        EXPECT_TRUE(refused.seen.starts_with(box + reason + after + list)) << refused.seen;
        EXPECT_NE(refused.seen.find("holds .participants-rows-to-add.tsv\n"), std::string::npos) << refused.seen;
        EXPECT_TRUE(refused.events) << table;
    }
}

// Registers a subject in a run folder, on a station of its own, up to the instruction screen; returns
// the message boxes it showed.
std::string RegisterIn(const std::string& folder, const std::string& id) {
    HeadlessHost host(1024, 768, folder);
    Experiment experiment(host);
    experiment.Greet();
    Register(host, 10, id);
    try {
        for (;;) experiment.runtime.WaitPass();
    } catch (const HeadlessIdle&) {
    }
    std::string seen;
    for (const TraceEntry& entry : host.Find("msgbox")) seen += entry.what + "\n";
    for (size_t at; (at = seen.find(folder)) != std::string::npos;) seen.replace(at, folder.size(), "DIR");
    return seen;
}

// A shared table that cannot be written (read-only here; on Windows also one a spreadsheet holds open)
// takes nothing of the run with it: the events file, its sidecar and the other table's row are
// written, the box says what to do, and the row waits beside the table until the first moment it can
// be added: a block's end, the quit, the next registration. The subject list is the program's alone.
TEST(ResultsTest, ARowATableCannotTakeNowWaitsAndIsAddedWhenItCan) {
    auto result = RunAsOrdinaryUser([] {
        std::string out;
        Lab lab;
        std::string root = lab.dir.path + "/Res_Data";
        fs::create_directory(root);
        const std::string table = "participant_id\torder_condition\tage\nsub-3\t2\t31\n";
        Write(root + "/participants.tsv", table);
        fs::permissions(root + "/participants.tsv", fs::perms(0444));
        lab.experiment.Greet();
        Register(lab.host, 10);
        lab.RunUntilIdle();
        for (const TraceEntry& entry : lab.host.Find("msgbox")) out += entry.what + "\n";
        out += "events " + std::to_string(fs::exists(lab.dir.path + "/" + EVENTS_NAME)) + " sidecar " +
               std::to_string(fs::exists(root + "/sub-12/beh/sub-12_task-dualtask_events.json")) + "\n";
        out += "scans " + ReadWholeFile(root + "/sub-12/sub-12_scans.tsv").value_or("none").substr(0, 65) + "\n";
        out += "table unchanged " + std::to_string(ReadWholeFile(root + "/participants.tsv") == table) + "\n";
        out += "waiting " + ReadWholeFile(root + "/.participants-rows-to-add.tsv").value_or("none");
        // Made writable during the run: the tone block's end adds the row, under the lab's columns.
        fs::permissions(root + "/participants.tsv", fs::perms(0644));
        lab.SetBlockNumber(3);
        lab.experiment.ToneTask().Start();
        lab.RunUntilIdle();
        out += "after the block " + ReadWholeFile(root + "/participants.tsv").value_or("none");
        out += "waiting " + std::to_string(fs::exists(root + "/.participants-rows-to-add.tsv")) + "\n";

        // The subject's scans.tsv read-only, from an earlier run, at a second registration of 12 (an
        // edited list): the row waits, and the next registration (of 13) adds it.
        Write(lab.dir.path + "/CurrentSubjects.txt", "");
        fs::permissions(root + "/sub-12/sub-12_scans.tsv", fs::perms(0444));
        std::string scansBefore = ReadWholeFile(root + "/sub-12/sub-12_scans.tsv").value_or("");
        out += RegisterIn(lab.dir.path, "12");
        out += "run 2 " + std::to_string(fs::exists(root + "/sub-12/beh/sub-12_task-dualtask_run-2_events.tsv")) + "\n";
        out += "scans unchanged " + std::to_string(ReadWholeFile(root + "/sub-12/sub-12_scans.tsv") == scansBefore) + "\n";
        fs::permissions(root + "/sub-12/sub-12_scans.tsv", fs::perms(0644));
        out += RegisterIn(lab.dir.path, "13");
        std::vector<std::string> scans = SplitLines(ReadWholeFile(root + "/sub-12/sub-12_scans.tsv").value_or(""));
        out += "scans rows " + std::to_string(scans.size()) + " " + (scans.size() == 3 ? scans[2].substr(0, 42) : "") + "\n";
        out += "waiting " + std::to_string(fs::exists(root + "/sub-12/.sub-12_scans-rows-to-add.tsv")) + "\n";
        out += "list " + ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt").value_or("none");
        for (size_t at; (at = out.find(lab.dir.path)) != std::string::npos;) out.replace(at, lab.dir.path.size(), "DIR");
        return out;
    });
    if (!result) PELORIN_SKIP("cannot run as a user that a read-only file stops (root without CAP_SETUID?)");
    EXPECT_EQ(*result,
              "msgbox 48 \"ERROR\" \"participants.tsv may not be written (Permission denied): make it writable; "
              "sub-12's row will be added.\\rThe run goes on and is recorded. Until then the row waits in "
              "DIR/Res_Data/.participants-rows-to-add.tsv; Pelorin adds it at the end of a block or of the run, or at "
              "the next registration or start.\"\n"
              "events 1 sidecar 1\n"
              "scans filename\tacq_time\tutc_offset\nbeh/sub-12_task-dualtask_events.tsv\t\n"
              "table unchanged 1\n"
              "waiting participant_id\torder_condition\nsub-12\t1\n"
              "after the block participant_id\torder_condition\tage\nsub-3\t2\t31\nsub-12\t1\tn/a\n"
              "waiting 0\n"
              "msgbox 48 \"ERROR\" \"sub-12_scans.tsv may not be written (Permission denied): make it writable; the "
              "run's row will be added.\\rThe run goes on and is recorded. Until then the row waits in "
              "DIR/Res_Data/sub-12/.sub-12_scans-rows-to-add.tsv; Pelorin adds it at the end of a block or of the "
              "run, or at the next registration or start.\"\n"
              "run 2 1\n"
              "scans unchanged 1\n"
              "scans rows 3 beh/sub-12_task-dualtask_run-2_events.tsv\t\n"
              "waiting 0\n"
              "list  12 kvt 1 \r\n 13 kvt 1 \r\n");
}

// A row that cannot even be kept for later (the place of its file taken) is not lost in silence: the
// box gives the cells to add by hand.
TEST(ResultsTest, ARowThatCannotBeKeptIsGivenToAddByHand) {
    std::string seen = RegisterWithResData([](const std::string& folder) {
        fs::create_directories(folder + "/.participants-rows-to-add.tsv");
        Write(folder + "/participants.tsv", "participant_id\tage\n");
    });
    EXPECT_TRUE(seen.starts_with(
        "msgbox 48 \"ERROR\" \"Could not add a row to DIR/Res_Data/participants.tsv: its header (the first line) has no "
        "column order_condition: add it, tab-separated, to the first line, nor keep it to add later (Is a directory)."
        "\\rThe run goes on and is recorded; add the row by hand once the file can be written: participant_id sub-12, "
        "order_condition 1.\"\ntop Instruction\n"))
        << seen;
    EXPECT_NE(seen.find("holds sub-12\n"), std::string::npos) << seen;
}

// participants.json as a lab edits it: the descriptions it added stay, and Pelorin's columns are
// described in it once; a file that is no JSON object is the lab's to mend and stays as it is.
TEST(ResultsTest, TheLabsColumnDescriptionsStay) {
    auto registerWith = [](const std::string& dictionary) {
        std::string after;
        RegisterWithResData(
            [&](const std::string& folder) {
                fs::create_directory(folder);
                Write(folder + "/participants.json", dictionary);
            },
            [&](Lab& lab) { after = ReadWholeFile(lab.dir.path + "/Res_Data/participants.json").value_or("none"); });
        return after;
    };
    const std::string ours = ColumnsJson(PARTICIPANT_COLUMNS);

    std::string age = "{\r\n  \"age\": {\"Description\": \"Age in years, \\\"at the session\\\" {sic}\", \"Units\": \"year\"}\r\n}\r\n";
    std::string crlf = ours;
    for (size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2) crlf.insert(at, "\r");
    EXPECT_EQ(registerWith(age), age.substr(0, age.size() - 5) + ",\r\n" + crlf + "}\r\n");
    EXPECT_EQ(registerWith("{}"), "{\n" + ours + "}");

    // Described already, in the lab's words, or no JSON object: nothing changes.
    std::string described = "{\"participant_id\": {\"Description\": \"ours\"}, \"order_condition\": 1, \"sex\": {}}\n";
    EXPECT_EQ(registerWith(described), described);
    for (std::string broken : {"{\"age\": {}", "[]", "{\"age\": {}} {}", "{\"age\" {}}", ""}) {
        EXPECT_EQ(registerWith(broken), broken);
    }
}

// A folder on a file system of its own of the given size, in a mount namespace of this process alone.
bool MountSmallDisk(const std::string& folder, const std::string& size) {
    fs::create_directory(folder);
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

TEST(ResultsTest, AResultsFileThatCannotBeMadeIsReportedAndTheRunGoesOn) {
    const std::string box = "msgbox 48 \"ERROR\" \"Could not ";
    const std::string list = "list  12 kvt 1 \r\n\n";

    // Res_Data is a file: it is left as it was.
    EXPECT_EQ(RegisterWithResData([](const std::string& folder) { Write(folder, "notes"); }),
              box + "create the results file DIR/Res_Data/dataset_description.json:\\rNot a directory\"\n"
                    "top Instruction\n" + list);

    // Res_Data is read-only for the user the program runs as.
    auto readOnly = RunAsOrdinaryUser([] {
        return RegisterWithResData([](const std::string& folder) {
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms(0555));
        });
    });
    if (!readOnly) PELORIN_SKIP("cannot run as a user that a read-only folder stops (root without CAP_SETUID?)");
    EXPECT_EQ(*readOnly, box + "create the results file DIR/Res_Data/dataset_description.json:\\r"
                               "Permission denied\"\ntop Instruction\n" + list);
}

TEST(ResultsTest, AFullDiskIsReportedOnceAndTheRunGoesOn) {
    const std::string box = "msgbox 48 \"ERROR\" \"Could not ";
    const std::string list = "list  12 kvt 1 \r\n\n";

    if (getuid() != 0) PELORIN_SKIP("a full disk needs a file system of its own, which only root can mount");
    // The disk is full at registration: the dataset's README does not fit, and nothing half-written
    // stays; the next registration writes it.
    auto fullAtStart = RunInChild([] { return true; }, [] {
        return RegisterWithResData([&](const std::string& folder) {
            if (!MountSmallDisk(folder, "4k")) throw std::runtime_error("cannot mount");
        });
    });
    if (!fullAtStart || fullAtStart->starts_with("exception")) PELORIN_SKIP("no file system of its own here");
    EXPECT_EQ(*fullAtStart, box + "write the results file DIR/Res_Data/README:\\r"
                                  "No space left on device\"\ntop Instruction\n" + list +
                                "holds dataset_description.json\n");

    // The disk fills during a block: one box at the first row that does not fit; the rows before it are
    // all there, whole, and the block, and the run, go on to the menu.
    auto fullInBlock = RunInChild([] { return true; }, [] {
        std::string rows;
        std::string seen = RegisterWithResData(
            [](const std::string& folder) {
                if (!MountSmallDisk(folder, "64k")) throw std::runtime_error("cannot mount");
            },
            [&](Lab& lab) {
                // Everything the disk has left, but the events file's own last block, goes to another file.
                int filler = open((lab.dir.path + "/Res_Data/filler").c_str(), O_WRONLY | O_CREAT, 0644);
                std::string page(4096, 'x');
                while (write(filler, page.data(), page.size()) > 0) {
                }
                while (write(filler, "x", 1) > 0) {
                }
                close(filler);
                SimulatedSubject subject(lab.host);
                lab.SetBlockNumber(3);
                lab.experiment.ToneTask().Start();
                lab.RunUntilIdle();
                std::string path = lab.dir.path + "/" + EVENTS_NAME;
                auto text = ReadWholeFile(path).value_or("");
                auto read = ReadEvents(text);
                rows = std::holds_alternative<std::string>(read)
                           ? std::get<std::string>(read)
                           : std::to_string(std::get<std::vector<EventRow>>(read).size()) + " rows";
            });
        return seen + rows;
    });
    ASSERT_TRUE(fullInBlock);
    std::string expected = box + "write the results file DIR/Res_Data/sub-12/beh/sub-12_task-dualtask_events.tsv:\\r"
                                 "No space left on device\"\ntop Display\n" + list +
                           "holds .bidsignore\nholds README\nholds dataset_description.json\nholds filler\n"
                           "holds participants.json\nholds participants.tsv\nholds scans.json\nholds sub-12\n";
    EXPECT_TRUE(fullInBlock->starts_with(expected)) << *fullInBlock;
    int rows = std::atoi(fullInBlock->substr(std::min(expected.size(), fullInBlock->size())).c_str());
    EXPECT_GT(rows, 20) << *fullInBlock;
}

}  // namespace
}  // namespace pelorin::test
