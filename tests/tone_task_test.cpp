#include <gtest/gtest.h>

#include "lab.h"
#include "screens/tone_task.h"

namespace pelorin::test {
namespace {

// The key that answers a tone number wrongly.
int16_t WrongKey(int16_t toneIndex) { return static_cast<int16_t>("xsw"[toneIndex % 3]); }

TEST(ToneTaskTest, AnswersMoveTheBarAndBringTheNextToneWhetherRightOrWrong) {
    Lab lab(20);
    lab.SetBlockNumber(3);
    ToneTask& tone = lab.experiment.ToneTask();
    auto answer = [&](float height, bool right) {
        tone.Shape1.SetHeight(height);
        int16_t key = right ? static_cast<int16_t>("xsw"[tone.toneIndex - 1]) : WrongKey(tone.toneIndex);
        int64_t at = lab.host.NowMillis() + 1;
        lab.host.Schedule(at, InputEvent::KeyPress(key));
        size_t tones = lab.Times("sound wave/").size();
        while (lab.Times("sound wave/").size() == tones) lab.experiment.runtime.WaitPass();
        // The height drawn at the answer; the next tone 25 ms after it, armed 55 ms later.
        EXPECT_EQ(lab.Times("sound wave/").back(), at + 25);
        lab.experiment.Blanke().Wait(40);
        return lab.HeightAt("ToneTask.Shape1", at);
    };
    tone.Start();
    EXPECT_EQ(answer(500, true), 0);
    EXPECT_EQ(answer(600, true), 0);
    EXPECT_EQ(answer(601, true), 1);
    EXPECT_EQ(answer(2000, false), 2000);

    // Upper case, letter keys and anything else are no answers.
    lab.host.ScheduleText(lab.host.NowMillis() + 1, "XSWbnm1 ");
    lab.experiment.Blanke().Wait(20);
    EXPECT_TRUE(tone.toneArmed);
    EXPECT_EQ(lab.Times("sound wave/").size(), 5u);
}

TEST(ToneTaskTest, AKeyWhileTheFirstToneOfABlockPlaysAlreadyAnswersIt) {
    Lab lab(100);
    lab.SetBlockNumber(3);
    SimulatedSubject subject(lab.host);
    // Pressed 10 ms into each tone, handled when it has played: counts for the first tone only.
    subject.toneDelay = 10;
    lab.experiment.ToneTask().Start();
    lab.experiment.Blanke().Wait(1000);
    EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 125}));
    EXPECT_EQ(lab.Heights("ToneTask.Shape1").at(1), (std::pair<int64_t, float>{100, 3240}));
}

TEST(ToneTaskTest, AnAnswerInterruptedByAnEndingPresentsNothingAfterwards) {
    // The overflow tick at 8960 falls into the 25 ms wait of a wrong answer at 8950. The hand-back
    // starts the tone block again on this screen; the interrupted answer must not add a tone to it.
    {
        Lab lab(20);
        lab.SetBlockNumber(0);
        ToneTask& tone = lab.experiment.ToneTask();
        tone.Start();
        lab.host.Schedule(8950, InputEvent::KeyPress(WrongKey(tone.toneIndex)));
        lab.experiment.Blanke().Wait2(20000);
        int64_t restart = lab.host.TimeOf("top ToneTask", 9000);
        EXPECT_EQ(restart, 8960 + 2500 + 2000 + 3000 + 2500);
        EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, restart}));
    }
    // The same tick falls into the 35 ms wait after the tone of a wrong answer at 8900: the ended block
    // stays disarmed.
    {
        Lab lab(20);
        lab.SetBlockNumber(3);
        ToneTask& tone = lab.experiment.ToneTask();
        tone.Start();
        lab.host.Schedule(8900, InputEvent::KeyPress(WrongKey(tone.toneIndex)));
        lab.RunUntilIdle();
        EXPECT_EQ(lab.Times("sound wave/"), (std::vector<int64_t>{0, 8925}));
        EXPECT_EQ(lab.host.TimeOf("wave play wave/error.wav"), 8960);
        EXPECT_FALSE(tone.toneArmed);
    }
}

}  // namespace
}  // namespace pelorin::test
