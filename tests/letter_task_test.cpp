#include <gtest/gtest.h>

#include "lab.h"

namespace pelorin::test {
namespace {

int16_t LetterKey(int16_t letterIndex) { return static_cast<int16_t>("bnm"[letterIndex - 1]); }

TEST(LetterTaskTest, AnswersHideTheLetterMoveTheBlueBarAndShowTheNextAfter25Ms) {
    Lab lab;
    lab.SetBlockNumber(3);
    LetterTask& letter = lab.experiment.LetterTask();
    letter.Start();
    Blanke& blanke = lab.experiment.Blanke();
    auto answer = [&](float height, bool right) {
        letter.Shape2.SetHeight(height);
        int64_t at = lab.host.NowMillis() + 1;
        lab.host.Schedule(at, InputEvent::KeyPress(right ? LetterKey(letter.letterIndex) : LetterKey(letter.letterIndex % 3 + 1)));
        // The answer's wait ends this one too; the next letter is drawn at the next pass.
        blanke.Wait(30);
        lab.experiment.runtime.DoEvents();
        // Drawn at the answer: the letter gone, the bar moved; 25 ms later the next letter.
        EXPECT_EQ(lab.host.TimeOf("hide LetterTask.Label1", at), at);
        EXPECT_EQ(lab.host.TimeOf("show LetterTask.Label1 \"", at), at + 25);
        return lab.HeightAt("LetterTask.Shape2", at);
    };
    EXPECT_EQ(answer(400, true), 0);
    EXPECT_EQ(answer(480, true), 0);
    EXPECT_EQ(answer(481, true), 1);
    EXPECT_EQ(answer(3000, false), 3000);
    // The tone bar stands still.
    EXPECT_EQ(lab.Heights("LetterTask.Shape1").size(), 1u);

    // Upper case and tone keys do nothing; nor does a letter key during the 25 ms wait.
    size_t shown = lab.host.Find("show LetterTask.Label1").size();
    lab.host.ScheduleText(lab.host.NowMillis() + 1, "BNMxsw");
    blanke.Wait(20);
    EXPECT_TRUE(letter.letterArmed);
    lab.host.ScheduleText(lab.host.NowMillis() + 1, "bb");
    blanke.Wait(30);
    lab.experiment.runtime.DoEvents();
    EXPECT_EQ(lab.host.Find("show LetterTask.Label1").size(), shown + 1);
}

TEST(LetterTaskTest, ABarThatStepsPastTheScreenHeightEndsTheBlock) {
    // 800 pixels: 12000 twips, which a bar starting at 4000 and rising by 30 never meets exactly.
    Lab lab(100, 1024, 800);
    lab.SetBlockNumber(3);
    lab.experiment.LetterTask().Start();
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("wave play wave/error.wav"), 267 * 35);
    EXPECT_EQ(lab.experiment.LetterTask().Shape2.Height(), 12010);
    EXPECT_EQ(lab.host.TimeOf("show LetterTask.Label2"), -1);
}

}  // namespace
}  // namespace pelorin::test
