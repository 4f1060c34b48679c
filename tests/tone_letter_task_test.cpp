#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <variant>

#include "events_summary.h"
#include "system/files.h"

#include "lab.h"

namespace pelorin::test {
namespace {

TEST(Tone_LetterTaskTest, BothChannelsRunAtOnceAndTheFirstToneIsArmedOnlyOnceItHasPlayed) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    // A tone key while the first tone plays is lost (the tone block would count it); the letter is
    // armed from the start, its answer lowers only the blue bar and leaves the letter on show.
    int16_t toneKey = static_cast<int16_t>("xsw"[0]);
    lab.host.Schedule(10, InputEvent::KeyPress(toneKey));
    dual.Start();
    EXPECT_EQ(lab.host.NowMillis(), 135);
    EXPECT_TRUE(dual.toneArmed && dual.letterArmed);
    EXPECT_EQ(lab.Times("sound wave/"), std::vector<int64_t>{0});

    dual.Shape2.SetHeight(500);
    lab.host.Schedule(136, InputEvent::KeyPress(static_cast<int16_t>("bnm"[dual.letterIndex - 1])));
    lab.experiment.Blanke().Wait(10);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape2", 136), 20);
    EXPECT_EQ(lab.host.TimeOf("hide Tone_LetterTask.Label1"), -1);
    EXPECT_TRUE(dual.toneArmed) << "the tone channel waits on its own";

    // The letter's 25 ms wait ended ours at 161.
    dual.Shape1.SetHeight(700);
    lab.host.Schedule(162, InputEvent::KeyPress(static_cast<int16_t>("xsw"[dual.toneIndex - 1])));
    lab.experiment.Blanke().Wait(100);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape1", 162), 100);
    EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 187}));
}

TEST(Tone_LetterTaskTest, GrowthTicksKeepTheirScheduleThroughTheFirstToneAndTheWholeBlock) {
    // A display tall enough that the bars rise for the whole minute without reaching the top.
    Lab lab(300, 1024, 5400);
    lab.SetBlockNumber(3);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    dual.Start();
    lab.RunUntilIdle();

    // The timers start at 0 with the 300 ms tone: the ticks due at 35 to 280 ms fell due while it
    // played and come as one at 300; then the n-th tick falls at n x 35 ms, up to the last before the
    // block timer's 60000 ms.
    std::vector<int64_t> expected{300};
    for (int64_t tick = 315; tick < 60000; tick += 35) expected.push_back(tick);
    std::vector<int64_t> grown;
    for (auto [at, height] : lab.Heights("Tone_LetterTask.Shape1")) {
        if (at > 0 && at <= 60000) grown.push_back(at);
    }
    EXPECT_EQ(grown, expected);
    EXPECT_EQ(lab.host.TimeOf("show Tone_LetterTask.Label2"), 60000) << "the block ends on its own timer";
}

int16_t ToneKey(int16_t toneIndex, bool right = true) {
    return static_cast<int16_t>("xsw"[right ? toneIndex - 1 : toneIndex % 3]);
}
int16_t LetterKey(int16_t letterIndex) { return static_cast<int16_t>("bnm"[letterIndex - 1]); }

TEST(Tone_LetterTaskTest, KeysDuringALaterToneLetterKeysCountASecondToneKeyIsLost) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    dual.Start();
    float tone = dual.Shape1.Height();
    float letter = dual.Shape2.Height();
    // A wrong tone answer at 200 brings the next tone at 225, playing until 325. The letter key and
    // every tone key typed meanwhile are handled when it has played: the letter counts, the tone keys
    // find their channel closed.
    lab.host.Schedule(200, InputEvent::KeyPress(ToneKey(dual.toneIndex, false)));
    lab.host.Schedule(250, InputEvent::KeyPress(LetterKey(dual.letterIndex)));
    lab.host.ScheduleText(260, "xsw");
    lab.experiment.Blanke().Wait2(500);
    EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 225}));
    // At 325, after the ticks of 140, 175, 210 and the one the tone held back.
    auto last = [&](const std::string& bar, int64_t at) {
        float height = -1;
        for (auto [time, drawn] : lab.Heights(bar)) height = time == at ? drawn : height;
        return height;
    };
    EXPECT_EQ(last("Tone_LetterTask.Shape1", 325), tone + 4 * 30);
    EXPECT_EQ(last("Tone_LetterTask.Shape2", 325), letter + 4 * 30 - 480);
    EXPECT_TRUE(dual.toneArmed) << "armed again once the tone's wait has ended";
}

TEST(Tone_LetterTaskTest, EndingsThatFallIntoAHandlerEndTheBlockThere) {
    // The overflow tick due while a tone plays comes when it has played and ends the block: the tone's
    // channel stays closed.
    {
        Lab lab(100);
        lab.SetBlockNumber(3);
        Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
        dual.Start();
        // Ticks at 140, 175 and 210, then the one due at 245 during the tone of 225 to 325 reaches the top.
        dual.Shape1.SetHeight(11520 - 4 * 30);
        lab.host.Schedule(200, InputEvent::KeyPress(ToneKey(dual.toneIndex, false)));
        lab.RunUntilIdle();
        EXPECT_EQ(lab.host.TimeOf("wave play wave/error.wav"), 325);
        EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 225}));
        EXPECT_FALSE(dual.toneArmed || dual.letterArmed);
        EXPECT_EQ(lab.host.TimeOf("top Display", 325), 325 + 5 * 500 + 2000);
    }
    // The block timer due while a tone plays: the praise when it has played, nothing armed after.
    {
        Lab lab(100, 1024, 5400);
        lab.SetBlockNumber(3);
        Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
        dual.Start();
        lab.host.Schedule(59900, InputEvent::KeyPress(ToneKey(dual.toneIndex, false)));
        lab.RunUntilIdle();
        EXPECT_EQ(lab.Times("sound wave/").back(), 59925);
        EXPECT_EQ(lab.host.TimeOf("show Tone_LetterTask.Label2"), 60025);
        EXPECT_FALSE(dual.toneArmed || dual.letterArmed);
        EXPECT_EQ(lab.host.TimeOf("top Display", 60025), 60025 + 2000 + 100);
    }
    // The block timer due in the 25 ms wait of a letter answer: the answered channel is not armed
    // again on the ended block.
    {
        Lab lab(100, 1024, 5400);
        lab.SetBlockNumber(3);
        Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
        dual.Start();
        lab.host.Schedule(59990, InputEvent::KeyPress(LetterKey(dual.letterIndex)));
        lab.RunUntilIdle();
        EXPECT_EQ(lab.host.TimeOf("show Tone_LetterTask.Label2"), 60000);
        EXPECT_FALSE(dual.toneArmed || dual.letterArmed);
    }
    // The overflow tick in the 25 ms wait of a tone answer, and the hand-back starts this same screen
    // again from inside the ending: the interrupted answer adds no tone to the new block.
    {
        Lab lab(100);
        lab.SetBlockNumber(2);
        Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
        dual.Start();
        dual.Shape1.SetHeight(11520 - 3 * 30);
        // Ticks at 140 and 175; the one at 210 falls into the wait after the answer at 200.
        lab.host.Schedule(200, InputEvent::KeyPress(ToneKey(dual.toneIndex, false)));
        lab.experiment.Blanke().Wait2(20000);
        int64_t restart = lab.host.TimeOf("top Tone_LetterTask", 300);
        EXPECT_EQ(restart, 210 + 5 * 500 + 2000 + 3000 + 2500);
        EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, restart}));
        EXPECT_TRUE(dual.toneArmed && dual.letterArmed);
    }
}

TEST(Tone_LetterTaskTest, TheQuestionAnsweredNoHoldsBarsChannelsAndTheBlockTimer) {
    Lab lab(100, 1024, 5400);
    lab.SetBlockNumber(3);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    dual.Start();
    // Esc at 500, No a second later; then both channels answered, right, as if nothing had come between.
    lab.host.Schedule(500, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.AnswerMessageBox(ID_NO, 1000);
    lab.host.Schedule(1600, InputEvent::KeyPress(ToneKey(dual.toneIndex)));
    lab.host.Schedule(1610, InputEvent::KeyPress(LetterKey(dual.letterIndex)));
    lab.RunUntilIdle();

    auto drawn = [&](const std::string& bar) {
        std::map<int64_t, float> heights;
        for (auto [at, height] : lab.Heights(bar)) heights[at] = height;
        return heights;
    };
    std::map<int64_t, float> tone = drawn("Tone_LetterTask.Shape1");
    std::map<int64_t, float> letter = drawn("Tone_LetterTask.Shape2");
    // The bars stand still while the question is up; the tick due at 525 comes at 1525.
    EXPECT_EQ(tone.lower_bound(501), tone.find(1525));
    EXPECT_EQ(letter.lower_bound(501), letter.find(1525));
    // Both channels stayed armed: each answer lowers its bar from where the ticks had put it.
    auto before = [](const std::map<int64_t, float>& heights, int64_t at) {
        return heights.empty() || heights.begin()->first >= at ? -1 : std::prev(heights.lower_bound(at))->second;
    };
    ASSERT_TRUE(tone.contains(1600) && letter.contains(1610));
    EXPECT_EQ(tone.at(1600), before(tone, 1600) - 600);
    EXPECT_EQ(letter.at(1610), before(letter, 1610) - 480);
    // The block's 60 s do not count the second the question was up.
    EXPECT_EQ(lab.host.TimeOf("show Tone_LetterTask.Label2"), 61000);
}

TEST(Tone_LetterTaskTest, ABarOverflowingWhileTheOtherChannelIsAnsweredEndsTheBlockThere) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    lab.experiment.results.Open(lab.dir.path, DatasetSettings{}, {1, 1}, 0);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    dual.Start();
    // The letter bar three ticks from the top: the ticks at 140 and 175, then the one at 210, in the
    // 25 ms wait of the tone's right answer at 200, takes it to the top.
    dual.Shape2.SetHeight(11520 - 3 * 30);
    float tone = dual.Shape1.Height();
    lab.host.Schedule(200, InputEvent::KeyPress(ToneKey(dual.toneIndex)));
    lab.RunUntilIdle();
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape1", 200), tone + 2 * 30 - 600) << "the answer counted";
    EXPECT_EQ(lab.host.TimeOf("wave play wave/error.wav"), 210);
    // The answer's tone never comes: the block it belonged to is over.
    EXPECT_EQ(lab.Times("sound wave/"), std::vector<int64_t>{0});
    EXPECT_FALSE(dual.toneArmed || dual.letterArmed);
    EXPECT_EQ(lab.host.TimeOf("top Display", 210), 210 + 5 * 500 + 2000);

    auto rows = ReadEvents(ReadWholeFile(lab.experiment.results.EventsPath()).value_or(""));
    ASSERT_TRUE(std::holds_alternative<std::vector<EventRow>>(rows));
    std::vector<std::string> kinds;
    for (const EventRow& row : std::get<std::vector<EventRow>>(rows)) {
        kinds.push_back(row.trialType + (row.correct ? (*row.correct ? " right" : " wrong") : ""));
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"block_start", "letter", "tone", "response right", "overflow"}));
}

TEST(Tone_LetterTaskTest, MissingWaveFilesKeepTheBlockGoing) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    for (const char* name : {"200", "500", "800", "error"}) {
        std::filesystem::remove(lab.dir.path + "/wave/" + name + ".wav");
    }
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    // A tone that cannot be played takes no time: the channel is armed 35 ms after it, and answered.
    dual.Start();
    EXPECT_EQ(lab.host.NowMillis(), 35);
    EXPECT_TRUE(dual.toneArmed);
    float height = dual.Shape1.Height();
    lab.host.Schedule(40, InputEvent::KeyPress(ToneKey(dual.toneIndex)));
    lab.experiment.Blanke().Wait(10);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape1", 40), height - 600);
    // An error sound that cannot be opened still takes its five 500 ms waits before the hand-back.
    lab.RunUntilIdle();
    int64_t overflow = lab.host.TimeOf("wave open failed wave/error.wav");
    EXPECT_GT(overflow, 0);
    EXPECT_EQ(lab.host.TimeOf("top Display", overflow), overflow + 5 * 500 + 2000);
}

}  // namespace
}  // namespace pelorin::test
