#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "lab.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

TEST(RunTest, AWholeExperimentFromRegistrationToQuit) {
    Lab lab(100);
    SimulatedSubject subject(lab.host);
    int menus = 0;
    // The experimenter: at the first menu "Tone + Letter", unanswered; then "Quit".
    lab.host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        lab.ContinueThroughInstructions(entry);
        if (entry.what == "show Display.Label1 \"Conutinue?\"") {
            subject.listening = false;
            lab.host.Schedule(entry.Millis() + 500, InputEvent::Click(++menus == 1 ? lab.experiment.Display().Command1[2] : lab.experiment.Display().Command1.back()));
        }
    };
    // Order condition 2: the blocks' order is the same for both conditions.
    lab.Register(10, "12", "kvt", "2");

    EXPECT_THROW(lab.experiment.Run(), ProgramEnded);
    EXPECT_TRUE(lab.host.Find("msgbox").empty());
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 12 kvt 2 \r\n");
    EXPECT_TRUE(std::filesystem::is_directory(lab.dir.path + "/Res_Data"));
    int64_t visit = lab.host.TimeOf("top Instruction") + 20 + 2000;
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

    // The menu, then the dual block from it (the menu's timeline: DisplayTest): both bars rising and
    // tones playing.
    EXPECT_EQ(lab.host.TimeOf("show Display.Command1(0) button \"Tone task\"", visit), visit);
    int64_t dual = lab.host.TimeOf("top Tone_LetterTask", visit);
    EXPECT_EQ(dual, visit + 3500);
    EXPECT_EQ(lab.host.TimeOf("sound wave/", visit), dual);
    EXPECT_EQ(lab.HeightAt("Tone_LetterTask.Shape1", dual + 140), lab.HeightAt("Tone_LetterTask.Shape2", dual + 140));
    // "Quit" at the second menu ends the program without a question.
    EXPECT_EQ(menus, 2);
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, 5);
}

// Esc reaches the quit question from every screen of a run; No leaves each where it was (the timers
// held meanwhile: PlatformTest, BlankeTest), Yes ends the run there.
TEST(RunTest, EscAnsweredNoLeavesEveryScreenWhereItWasAndKeysUnderTheQuestionAreItsOwn) {
    Lab lab(100);
    SimulatedSubject subject(lab.host);
    subject.listening = false;
    std::map<std::string, int64_t> at;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        subject.See(entry);
        lab.ContinueThroughInstructions(entry);
        const std::string& what = entry.what;
        if (at.contains(what)) return;
        int64_t now = entry.Millis();
        if (what.starts_with("show Display.Label2 \"Let's start")) {
            lab.host.Schedule(now + 1000, InputEvent::KeyPress(KEY_ESCAPE));
        } else if (what == "top ToneTask") {
            // Every tone key, typed under the question: none may answer the armed tone afterwards.
            lab.host.Schedule(now + 2000, InputEvent::KeyPress(KEY_ESCAPE));
            lab.host.ScheduleText(now + 2500, "xsw");
        } else if (what == "top LetterTask" || what == "top Tone_LetterTask") {
            lab.host.Schedule(now + 1000, InputEvent::KeyPress(KEY_ESCAPE));
        } else {
            return;
        }
        at[what] = now;
    };
    // Registration: "12" in the ID box, then Esc; a digit typed under the question is the question's.
    lab.host.ScheduleText(10, "12");
    lab.host.Schedule(20, InputEvent::KeyPress(KEY_ESCAPE));
    lab.host.ScheduleText(100, "3");
    lab.Register(400, "", "ab", "1");
    // No on registration, in the announcement, in the tone block and in the letter block, each after
    // its own time; Yes in the dual block.
    for (int64_t after : {300, 500, 1000, 2000}) lab.host.AnswerMessageBox(ID_NO, after);
    lab.host.AnswerMessageBox(ID_YES);

    EXPECT_THROW(lab.experiment.Run(), ProgramEnded);
    EXPECT_EQ(lab.Times("msgbox 36 \"Pelorin\" \"Do you really want to quit?\"").size(), 5u);
    EXPECT_EQ(ReadWholeFile(lab.dir.path + "/CurrentSubjects.txt"), " 12 ab 1 \r\n");
    // The announcement's 3000 ms held for the question's 500.
    int64_t visit = lab.host.TimeOf("show Display.Label2 \"Let's start");
    EXPECT_EQ(lab.host.TimeOf("top Blanke", visit), visit + 3500);
    // The tone block: no tone key typed under the question answered; unanswered, the bar overflows at
    // the 257th tick (two fell into the first tone), as much later as the question was up.
    int64_t tone = at["top ToneTask"];
    int64_t overflow = lab.host.TimeOf("wave play wave/error.wav", tone);
    EXPECT_EQ(overflow, tone + 257 * 35 + 1000);
    EXPECT_GT(lab.host.TimeOf("sound wave/", tone + 1), overflow) << "a key under the question answered";
    EXPECT_EQ(lab.host.Trace().back().Millis(), at["top Tone_LetterTask"] + 1000);
}

}  // namespace
}  // namespace pelorin::test
