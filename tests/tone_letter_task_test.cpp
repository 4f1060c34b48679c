#include <gtest/gtest.h>

#include <algorithm>

#include "lab.h"

namespace pelorin::test {
namespace {

float Highest(const std::vector<std::pair<int64_t, float>>& heights) {
    float highest = 0;
    for (auto [at, height] : heights) highest = std::max(highest, height);
    return highest;
}

TEST(Tone_LetterTaskTest, BothChannelsRunAtOnceAndTheFirstToneIsArmedOnlyOnceItHasPlayed) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    Tone_LetterTask& dual = lab.experiment.Tone_LetterTask();
    // A tone key while the first tone plays is lost (the tone block would count it); the letter is
    // armed from the start, its answer lowers only the blue bar and leaves the letter on show.
    int16_t toneKey = static_cast<int16_t>("xsw"[0]);
    lab.host.ScheduleKeyPress(10, toneKey);
    dual.Start();
    EXPECT_EQ(lab.host.NowMillis(), 135);
    EXPECT_TRUE(dual.toneArmed && dual.letterArmed);
    EXPECT_EQ(lab.Times("sound wave/"), std::vector<int64_t>{0});

    dual.Shape2.SetHeight(500);
    lab.host.ScheduleKeyPress(136, static_cast<int16_t>("bnm"[dual.letterIndex - 1]));
    lab.experiment.Blanke().Wait(10);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape2", 136), 20);
    EXPECT_EQ(lab.host.TimeOf("hide Tone_LetterTask.Label1"), -1);
    EXPECT_TRUE(dual.toneArmed) << "the tone channel waits on its own";

    // The letter's 25 ms wait ended ours at 161.
    dual.Shape1.SetHeight(700);
    lab.host.ScheduleKeyPress(162, static_cast<int16_t>("xsw"[dual.toneIndex - 1]));
    lab.experiment.Blanke().Wait(100);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape1", 162), 100);
    EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 187}));
}

TEST(Tone_LetterTaskTest, EndingsWithAndWithoutASubject) {
    // No answers: both bars meet the screen height on the same tick; one overflow ending runs.
    {
        Lab lab(20);
        lab.SetBlockNumber(3);
        lab.experiment.Tone_LetterTask().Start();
        lab.RunUntilIdle();
        EXPECT_EQ(lab.Times("wave play wave/error.wav"), (std::vector<int64_t>{8960, 9460, 9960, 10460, 10960}));
        EXPECT_EQ(lab.host.TimeOf("top Display"), 13460);
    }
    // A subject who keeps both bars down: praise at 60000 for 2000 ms, then 100 ms of blank screen.
    {
        Lab lab(100);
        lab.SetBlockNumber(3);
        SimulatedSubject subject(lab.host);
        lab.experiment.Tone_LetterTask().Start();
        lab.RunUntilIdle();
        // NOTE: the caption's typo is the experiment's own.
        EXPECT_EQ(lab.host.TimeOf("show Tone_LetterTask.Label2 \"Congralulation\""), 60000);
        EXPECT_EQ(lab.host.TimeOf("top Display"), 62100);
        EXPECT_LT(Highest(lab.Heights("Tone_LetterTask.Shape1")), 3840 + 300);
        EXPECT_LT(Highest(lab.Heights("Tone_LetterTask.Shape2")), 3840 + 300);
    }
}

}  // namespace
}  // namespace pelorin::test
