#include <gtest/gtest.h>

#include <fstream>

#include "lab.h"
#include "platform/files.h"

namespace pelorin::test {
namespace {

TEST(RunTest, AWholeExperimentFromRegistrationToQuit) {
    Lab lab(100);
    std::ofstream(lab.dir.path + "/instruction.txt") << "Answer the tones and the letters.";
    SimulatedSubject subject(lab.host);
    int menus = 0;
    Display* display = nullptr;
    // The experimenter: Continue twice; at the first menu the tone block again, unanswered; then Quit.
    lab.host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        if (entry.what == "top Instruction") {
            lab.host.Schedule(entry.Millis() + 500, InputEvent::Click(lab.experiment.Instruction().Command1));
            lab.host.Schedule(entry.Millis() + 1500, InputEvent::Click(lab.experiment.Instruction().Command1));
        } else if (entry.what == "show Display.Label1 \"Conutinue?\"") {
            subject.listening = false;
            display = &lab.experiment.Display();
            lab.host.Schedule(entry.Millis() + 500, InputEvent::Click(display->Command1[++menus == 1 ? 0 : 3]));
        }
    };
    // Registration: refused keys and a refused check, each with its message.
    lab.host.ScheduleText(10, "a12");
    lab.host.Schedule(20, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(30, "k");
    lab.host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(50, "vt");
    lab.host.Schedule(60, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(70, "31");
    lab.host.Schedule(80, InputEvent::KeyPress(KEY_RETURN));

    EXPECT_THROW(lab.experiment.Run(), ProgramEnded);

    EXPECT_EQ(lab.host.Find("msgbox").size(), 3u);
    EXPECT_EQ(lab.host.TimeOf("msgbox 48 \"ERROR\" \"Please enter numbers only!\""), 10);
    EXPECT_EQ(lab.host.TimeOf("msgbox 0 \"ERROR\" \"Please insert subject initials!\""), 40);
    EXPECT_EQ(lab.host.TimeOf("msgbox 48 \"ERROR\" \"Please enter numbers 1 to 2 only!\""), 70);
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 12 kvt 1 \r\n");
    EXPECT_TRUE(std::filesystem::is_directory(lab.dir.path + "/Res_Data"));

    // Instructions: 100 ms blank after registering, the text on the first Continue, 2000 ms blank after
    // the second.
    EXPECT_EQ(lab.host.TimeOf("top Blanke"), 80);
    EXPECT_EQ(lab.host.TimeOf("top Instruction"), 180);
    EXPECT_EQ(lab.host.TimeOf("show Instruction.RichTextBox1 text \"Answer the tones"), 680);
    int64_t visit = 1680 + 2000;
    // Three fixed blocks in this order whatever the order condition: announcement 3000, blank 1000,
    // cross 1000, blank 500; the subject keeps the bars down for 60000 ms; praise 2000, blank 100.
    const char* announcements[] = {
        "Let's start with a trial where you only have to respond to tone.",
        "Now let's move on to a trial where you only have to respond to letters.",
        "Now let's move on to a trial where you have to respond to both letters and tones.",
    };
    const char* tasks[] = {"ToneTask", "LetterTask", "Tone_LetterTask"};
    const char* praise[] = {"Congratulations", "Congralulations", "Congralulation"};
    for (int block = 0; block < 3; ++block) {
        EXPECT_EQ(lab.host.TimeOf("show Display.Label2 \"" + std::string(announcements[block]), visit), visit);
        EXPECT_EQ(lab.host.TimeOf("top Blanke", visit), visit + 3000);
        EXPECT_EQ(lab.host.TimeOf("show Blanke.Label1", visit), visit + 4000);
        EXPECT_EQ(lab.host.TimeOf("hide Blanke.Label1", visit), visit + 5000);
        int64_t start = lab.host.TimeOf("top " + std::string(tasks[block]), visit);
        EXPECT_EQ(start, visit + 5500);
        EXPECT_EQ(lab.host.TimeOf("show " + std::string(tasks[block]) + ".Label2 \"" + praise[block] + "\""),
                  start + 60000);
        EXPECT_EQ(lab.host.TimeOf("top Blanke", start), start + 62000);
        visit = start + 62100;
    }
    EXPECT_GT(lab.host.TimeOf("wave play"), visit) << "no fixed block was lost";

    // The menu, then the tone block from it: 1000, 1000, 1000; unanswered, its bar rises 256 ticks.
    EXPECT_EQ(lab.host.TimeOf("show Display.Command1(0) button \"Tone task\"", visit), visit);
    EXPECT_EQ(lab.host.TimeOf("show Blanke.Label1", visit), visit + 1500);
    EXPECT_EQ(lab.host.TimeOf("hide Blanke.Label1", visit), visit + 2500);
    int64_t again = lab.host.TimeOf("top ToneTask", visit);
    EXPECT_EQ(again, visit + 3500);
    auto plays = lab.Times("wave play wave/error.wav");
    ASSERT_EQ(plays.size(), 5u);
    for (int play = 1; play < 5; ++play) EXPECT_EQ(plays[play] - plays[play - 1], 500);
    size_t rises = 0;
    for (auto [at, height] : lab.Heights("ToneTask.Shape1")) rises += at > again && at < plays[0];
    EXPECT_EQ(rises + 1, 256u) << "the last tick hides the bar as it meets the top";
    EXPECT_EQ(lab.host.TimeOf("top Display", plays[0]), plays[4] + 500 + 2000);
    // "Quit" at the second menu ends the program without a question.
    EXPECT_EQ(menus, 2);
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, 5);
}

TEST(RunTest, EscAnsweredNoCarriesOnWhereTheRunWasYesEnds) {
    Lab lab(100);
    // Quick fill and Enter, then straight through the instructions.
    lab.host.Schedule(10, InputEvent::KeyDown(KEY_TAB, CTRL_MASK));
    lab.host.Schedule(20, InputEvent::KeyPress(KEY_RETURN));
    lab.host.onTrace = [&](const TraceEntry& entry) {
        if (entry.what != "top Instruction") return;
        lab.host.Schedule(entry.Millis() + 10, InputEvent::Click(lab.experiment.Instruction().Command1));
        lab.host.Schedule(entry.Millis() + 20, InputEvent::Click(lab.experiment.Instruction().Command1));
    };
    // The tone block starts at 7640. Esc 2000 ms in, the question up for 1000 ms, answered No.
    lab.host.Schedule(9640, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.AnswerMessageBox(ID_NO, 1000);
    // Esc on the blank screen after the overflow, answered Yes.
    lab.host.Schedule(20000, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.AnswerMessageBox(ID_YES);

    EXPECT_THROW(lab.experiment.Run(), ProgramEnded);
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 1 kvt 2 \r\n");
    EXPECT_EQ(lab.host.TimeOf("top ToneTask"), 7640);
    EXPECT_EQ(lab.Times("msgbox 36 \"Pelorin\" \"Do you really want to quit?\""), (std::vector<int64_t>{9640, 20000}));
    // The bar stands still while the question is up and rises on when it has closed, its next tick
    // 30 ms later as it was 30 ms off when the question came: the block goes on where it was.
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 9635), 5520);
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 10640), -1);
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 10670), 5550);
    EXPECT_EQ(lab.HeightAt("ToneTask.Shape1", 10705), 5580);
    // Unhindered, the 256th tick would come at 16635: it comes as much later as the question was up.
    EXPECT_EQ(lab.host.TimeOf("wave play wave/error.wav"), 16635 + 1000);
    // Yes during the error sound: it stops and nothing follows.
    EXPECT_EQ(lab.host.TimeOf("wave close wave/error.wav"), 20000);
    EXPECT_EQ(lab.host.TimeOf("top Blanke", 17000), -1);
}

}  // namespace
}  // namespace pelorin::test
