#include <gtest/gtest.h>

#include <fstream>

#include "lab.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

TEST(InstructionTest, FirstContinueShowsTheTextTheSecondHandsOverAfter2000Ms) {
    Lab lab;
    std::ofstream(lab.dir.path + "/instruction.txt") << "Press x, s or w for the tones.";
    lab.SetBlockNumber(3);
    Instruction& instruction = lab.experiment.Instruction();
    EXPECT_EQ(instruction.FocusedControl(), &instruction.Command1);
    lab.host.Schedule(100, InputEvent::KeyPress(KEY_RETURN));
    lab.host.Schedule(200, InputEvent::Click(instruction.Command1));
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("show Instruction.Label1 \" Welcome to Pelorin\""), 0);
    EXPECT_EQ(lab.host.TimeOf("show Instruction.Label2 \"Author one\""), 0);
    EXPECT_EQ(lab.host.TimeOf("show Instruction.RichTextBox1 text \"Press x, s or w for the tones.\""), 100);
    EXPECT_EQ(lab.host.TimeOf("top Blanke"), 200);
    EXPECT_EQ(lab.host.TimeOf("top Display"), 2200);

    // The layout follows the display: text and welcome centred, the button centred at the bottom with
    // one button height below it, the credits in the bottom-right corner.
    lab.host.Schedule(2300, InputEvent::Resize(nullptr, 12000, 9000));
    lab.RunUntilIdle();
    EXPECT_FLOAT_EQ(instruction.RichTextBox1.Left(), (12000 - 10215) / 2.0f);
    EXPECT_FLOAT_EQ(instruction.Label1.Top(), (9000 - 975) / 2.0f);
    EXPECT_FLOAT_EQ(instruction.Command1.Left(), 6000 - 2415 / 2.0f);
    EXPECT_FLOAT_EQ(instruction.Command1.Top(), 9000 - 2 * 495);
    EXPECT_FLOAT_EQ(instruction.Frame1.Left(), 12000 - 3375);
    EXPECT_FLOAT_EQ(instruction.Label5.ScreenTop(), 9000 - 2415 + 1800);
}

TEST(InstructionTest, AMissingFileIsNamedInTheViewAndTheRunGoesOnEscAsksToQuit) {
    Lab lab;
    lab.SetBlockNumber(3);
    Instruction& instruction = lab.experiment.Instruction();
    // Esc reaches the screen though the button has the focus; No keeps the run where it was.
    lab.host.Schedule(50, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.AnswerMessageBox(ID_NO);
    lab.host.Schedule(100, InputEvent::Click(instruction.Command1));
    lab.host.Schedule(200, InputEvent::Click(instruction.Command1));
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("msgbox 36 \"Pelorin\" \"Do you really want to quit?\""), 50);
    std::string missing = JoinPath(lab.dir.path, "instruction.txt");
    std::string reason;
    ReadWholeFile(missing, &reason);
    EXPECT_EQ(instruction.RichTextBox1.Text(), "Cannot open " + missing + ": " + reason);
    EXPECT_EQ(lab.host.TimeOf("top Display"), 2200);
}

}  // namespace
}  // namespace pelorin::test
