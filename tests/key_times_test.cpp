// When keys are written and what the program's flushes and message boxes cost the screens, on the test
// host, whose clock stands for the real one: a key keeps the time it was typed at whatever held the
// program then, a flush costs no screen its time, and keys typed behind Esc belong to the question.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <utility>
#include <variant>

#include "event_rows.h"
#include "events_summary.h"
#include "lab.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

std::vector<EventRow> Responses(const std::vector<EventRow>& rows) {
    std::vector<EventRow> responses;
    for (const EventRow& row : rows) {
        if (row.trialType == "response") responses.push_back(row);
    }
    return responses;
}

// The right key of a played tone from its trace entry "sound wave/200.wav", or 0 for another entry.
char ToneKeyOf(const std::string& what) {
    static const std::map<std::string, char> keys{
        {"sound wave/200.wav", 'x'}, {"sound wave/500.wav", 's'}, {"sound wave/800.wav", 'w'}};
    auto key = keys.find(what);
    return key != keys.end() ? key->second : '\0';
}

// A tone block whose results count from 0 on the test host's clock, with 300 ms tones.
struct ToneBlock {
    ToneBlock() {
        lab.experiment.Display();
        lab.experiment.results.Open(lab.dir.path, DatasetSettings{}, {1, 1}, 0);
    }
    std::vector<EventRow> Rows() const { return ReadRows(lab.experiment.results.EventsPath()); }

    Lab lab{300};
    ToneTask& task = lab.experiment.ToneTask();
};

TEST(KeyTimesTest, AKeyTypedWhileATonePlaysIsHandledAfterItButWrittenWhenTyped) {
    ToneBlock block;
    Lab& lab = block.lab;
    // The first tone (0 to 300 ms) is answered at 100 ms with its key, and a second key at 200 ms
    // finds the channel closed; the second tone, after the 25 ms wait and the 35 ms one, is answered
    // right away at 400 ms, while it plays.
    int tones = 0;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        char key = ToneKeyOf(entry.what);
        if (key == '\0') return;
        if (++tones == 1) {
            lab.host.Schedule(entry.Millis() + 100, InputEvent::KeyPress(key));
            lab.host.Schedule(entry.Millis() + 200, InputEvent::KeyPress('q'));
        } else if (tones == 2) {
            lab.host.Schedule(entry.Millis() + 75, InputEvent::KeyPress(key));
        }
    };
    float height = block.task.Shape1.Height();
    block.task.Start();
    lab.experiment.Blanke().Wait(1000);

    // Handled once each tone had played: the bar falls at 300 ms, not at 100.
    EXPECT_EQ(lab.Times("sound wave/").front(), 0);
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 100), -1);
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 300), height - 600);
    int64_t second = lab.Times("sound wave/").at(1);
    EXPECT_EQ(second, 300 + 25);

    std::vector<EventRow> responses = Responses(block.Rows());
    ASSERT_EQ(responses.size(), 3u);
    EXPECT_EQ(responses[0].onsetMicros, 100000);
    EXPECT_EQ(responses[0].correct, true);
    EXPECT_EQ(responses[0].responseMicros, 100000);
    EXPECT_EQ(responses[1].onsetMicros, 200000);
    EXPECT_EQ(responses[1].key, "q");
    EXPECT_EQ(responses[2].onsetMicros, (second + 75) * 1000);
    EXPECT_EQ(responses[2].correct, std::nullopt) << "the second tone's channel opens once it has played";
}

TEST(KeyTimesTest, AKeyTypedBeforeATonesFirstSampleHasNoTimeAndTheRowsStayInOnsetOrder) {
    ToneBlock block;
    Lab& lab = block.lab;
    // Each sound reaches the output 22 ms after its call, as through a sound server. The first tone
    // (called at 0, heard from 22 ms) is answered at 10 ms, before it was heard; 5 ms after the second
    // tone's call a stray key.
    lab.host.SetSoundLatencyMillis(22);
    int tones = 0;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        char key = ToneKeyOf(entry.what);
        if (key == '\0') return;
        if (++tones == 1) {
            lab.host.Schedule(entry.Millis() + 10, InputEvent::KeyPress(key));
        } else if (tones == 2) {
            lab.host.Schedule(entry.Millis() + 5, InputEvent::KeyPress('q'));
        }
    };
    block.task.Start();
    lab.experiment.Blanke().Wait(1000);
    int64_t secondCall = lab.Times("sound wave/").at(1);

    std::vector<EventRow> rows = block.Rows();
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_LE(rows[i - 1].onsetMicros, rows[i].onsetMicros) << "row " << i + 1 << " " << rows[i].trialType;
    }
    std::vector<std::string> types;
    for (const EventRow& row : rows) types.push_back(row.trialType);
    ASSERT_GE(rows.size(), 5u);
    EXPECT_EQ((std::vector<std::string>(types.begin(), types.begin() + 5)),
              (std::vector<std::string>{"block_start", "response", "tone", "response", "tone"}));
    // Scored against the first tone, right, but with no time: it was typed before the tone was heard.
    EXPECT_EQ(rows[1].onsetMicros, 10000);
    EXPECT_EQ(rows[1].stimulus, rows[2].stimulus);
    EXPECT_EQ(rows[1].correct, true);
    EXPECT_EQ(rows[1].responseMicros, std::nullopt);
    EXPECT_EQ(rows[2].onsetMicros, 22000);
    EXPECT_EQ(rows[3].onsetMicros, (secondCall + 5) * 1000);
    EXPECT_EQ(rows[3].key, "q");
    EXPECT_EQ(rows[4].onsetMicros, (secondCall + 22) * 1000);
}

TEST(KeyTimesTest, KeysQueuedBehindEscAreTheQuestionsAndGoneAfterNo) {
    ToneBlock block;
    Lab& lab = block.lab;
    // Esc and an answer key typed while the first tone plays are both waiting when it ends: the
    // question takes the Esc, and the key behind it with it.
    lab.host.Schedule(50, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.Schedule(60, InputEvent::KeyPress('x'));
    lab.host.Schedule(61, InputEvent::KeyPress('s'));
    lab.host.Schedule(62, InputEvent::KeyPress('w'));
    lab.host.AnswerMessageBox(ID_NO, 400);
    float height = block.task.Shape1.Height();
    block.task.Start();
    lab.experiment.Blanke().Wait(200);

    EXPECT_EQ(lab.host.TimeOf("msgbox 36"), 300);
    EXPECT_TRUE(Responses(block.Rows()).empty());
    EXPECT_TRUE(block.task.toneArmed) << "the tone still waits for its answer";
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 700), height + 30) << "only the tick the tone held";
}

// A whole run on the demo's course (three blocks, then Yes to the quit question on the menu) by a
// subject answering everything, registered from registerAt, each flush to the disk taking flushMillis
// of the test host's clock.
struct WholeRun {
    WholeRun(int64_t flushMillis, int64_t registerAt) {
        std::ofstream(lab.dir.path + "/instruction.txt") << "Answer the tones and the letters.";
        lab.host.SetAsideCostMillis(flushMillis);
        lab.host.onTrace = [this](const TraceEntry& entry) {
            subject.See(entry);
            lab.ContinueThroughInstructions(entry);
            if (entry.what == "show Display.Label1 \"Conutinue?\"") {
                subject.listening = false;
                lab.host.Schedule(entry.Millis() + 500, InputEvent::KeyPress(KEY_ESCAPE));
                lab.host.AnswerMessageBox(ID_YES);
            }
        };
        lab.Register(registerAt, "12", "kvt", "1");
        EXPECT_THROW(lab.experiment.Run(), ProgramEnded);
        // The events file wherever the dataset keeps it.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(lab.dir.path + "/Res_Data")) {
            if (entry.path().string().ends_with("_events.tsv")) events = ReadWholeFile(entry.path().string()).value_or("");
        }
    }

    // Every trace entry from the blank that follows the registration on, timed from that blank.
    std::vector<std::pair<int64_t, std::string>> AfterRegistration() const {
        int64_t from = lab.host.TimeOf("top Blanke");
        std::vector<std::pair<int64_t, std::string>> entries;
        for (const TraceEntry& entry : lab.host.Trace()) {
            if (entry.Millis() >= from) entries.emplace_back(entry.Millis() - from, entry.what);
        }
        return entries;
    }

    Lab lab{100};
    SimulatedSubject subject{lab.host};
    std::string events;
};

TEST(KeyTimesTest, FlushesCostNoScreenItsTime) {
    // Registered 50 ms apart, so that both come to the blank after the registration at the same time
    // (the draws of the stimuli follow the clock).
    WholeRun instant(0, 60);
    WholeRun slow(50, 10);
    // The subject list's record is flushed before the screen moves on: only there does a flush hold
    // the screen.
    int64_t blank = instant.lab.host.TimeOf("top Blanke");
    EXPECT_EQ(slow.lab.host.TimeOf("top Blanke"), blank);
    // From there on every screen, tone, drawn change and answer comes at the same time: the results'
    // flushes at the registration and at each block's end ran inside the blanks' times.
    auto expected = instant.AfterRegistration();
    auto got = slow.AfterRegistration();
    for (size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
        ASSERT_EQ(got[i], expected[i]) << "entry " << i;
    }
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(instant.lab.host.Find("top ToneTask").size(), 1u);
    EXPECT_EQ(instant.lab.host.Find("top Tone_LetterTask").size(), 1u);
    // The same rows at the same times, counted from the record.
    EXPECT_GT(std::count(instant.events.begin(), instant.events.end(), '\n'), 100);
    EXPECT_EQ(slow.events, instant.events);
}

}  // namespace
}  // namespace pelorin::test
