#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pelorin::test
