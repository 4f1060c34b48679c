#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "lab.h"
#include "records/subject_list.h"
#include "system/files.h"

namespace pelorin::test {
namespace {

class GreetTest : public ::testing::Test {
protected:
    void SetUp() override { lab.experiment.Greet(); }

    void WriteList(const std::string& contents) { std::ofstream(ListPath(), std::ios::binary) << contents; }
    std::string ListPath() const { return JoinPath(lab.dir.path, "CurrentSubjects.txt"); }
    std::optional<std::string> List() const { return ReadWholeFile(ListPath()); }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const TraceEntry& entry : lab.host.Find("msgbox")) boxes.push_back(entry.what);
        return boxes;
    }
    // Runs to the time; the registration screen waits for a person, so idle is where it rests.
    void RunTo(int64_t millis) {
        lab.host.SetTimeLimitMillis(millis);
        lab.RunUntilIdle();
    }
    std::string Duplicate(int id) const {
        return "msgbox 48 \"ERROR\" \"Sorry subject " + std::to_string(id) + " allready exsists.\\rLook in " +
               JoinPath(lab.dir.path, "CurrentSubjects.txt") + " to see current subjects.\"";
    }
    void CtrlTab(int64_t at) { lab.host.Schedule(at, InputEvent::KeyDown(KEY_TAB, CTRL_MASK)); }

    Lab lab;
    Greet& greet = lab.experiment.Greet();
};

TEST_F(GreetTest, KeyFiltersAndChecksOnLeavingEachBox) {
    EXPECT_EQ(greet.Label5.Caption(), "Order Condition 1-2");
    // Refused keys leave the boxes as they were and backspace always passes; a box that fails its check
    // keeps the focus, so a click on "Start" from the empty order-condition box does nothing.
    lab.host.Schedule(10, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(20, "x12");
    lab.host.Schedule(30, InputEvent::KeyPress(KEY_BACK));
    lab.host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(50, "k-vt");
    lab.host.Schedule(60, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(70, "0");
    lab.host.Schedule(80, InputEvent::Click(greet.Command1));
    RunTo(200);
    EXPECT_EQ(greet.Text1.Text() + " " + greet.Text2.Text() + " [" + greet.Text3.Text() + "]", "1 kvt []");
    EXPECT_EQ(greet.FocusedControl(), &greet.Text3);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "msgbox 0 \"ERROR\" \"Please insert subject id!\"",
                           "msgbox 48 \"ERROR\" \"Please enter numbers only!\"",
                           "msgbox 48 \"ERROR\" \"Please enter letters only!\"",
                           // The accepted range is named, from the number of order conditions.
                           "msgbox 48 \"ERROR\" \"Please enter numbers 1 to 2 only!\"",
                           "msgbox 0 \"ERROR\" \"Please insert Order Condition!\"",
                       }));
    EXPECT_FALSE(List());
}

TEST_F(GreetTest, RegisteringAppendsOneRecordByteForByteAndHandsOverToTheInstructions) {
    // The last line has no line end: the record goes on a line of its own. Res_Data exists already.
    WriteList(" 3 ab 1 \r\n# pilot");
    std::filesystem::create_directory(lab.dir.path + "/Res_Data");
    lab.host.ScheduleText(10, "12");
    lab.host.Schedule(20, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(30, "kvt");
    lab.host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(50, "1");
    lab.host.Schedule(60, InputEvent::Click(greet.Command1));
    RunTo(1000);
    EXPECT_EQ(List(), " 3 ab 1 \r\n# pilot\r\n 12 kvt 1 \r\n");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(lab.experiment.templateVariables.subjectId, 12);
    EXPECT_EQ(lab.experiment.templateVariables.orderCondition, 1);
    EXPECT_EQ(lab.host.TimeOf("top Blanke"), 60);
    EXPECT_EQ(lab.host.TimeOf("top Instruction"), 160);

}

TEST_F(GreetTest, EnterInTheLastBoxChecksEveryEntryBeforeWriting) {
    // An empty order condition is refused, not recorded as 0.
    lab.host.ScheduleText(10, "7");
    lab.host.Schedule(20, InputEvent::KeyDown(KEY_TAB));
    lab.host.ScheduleText(30, "ab");
    lab.host.Schedule(40, InputEvent::KeyDown(KEY_TAB));
    lab.host.Schedule(50, InputEvent::KeyPress(KEY_RETURN));
    RunTo(100);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"msgbox 0 \"ERROR\" \"Please insert Order Condition!\""});
    EXPECT_FALSE(List());

    // A quick fill from the initials box proposes a taken ID (the list's last line is 4, 5 is taken):
    // Enter refuses it with the duplicate message and puts the focus in the ID box.
    WriteList(" 3 ab 1 \r\n 5 cd 2 \r\n 4 ef 1 \r\n");
    lab.host.ScheduleText(105, "1");
    lab.host.Schedule(110, InputEvent::KeyDown(KEY_TAB, SHIFT_MASK));
    CtrlTab(120);
    lab.host.Schedule(130, InputEvent::KeyPress(KEY_RETURN));
    RunTo(200);
    EXPECT_EQ(greet.Text1.Text(), "5");
    EXPECT_EQ(Boxes().back(), Duplicate(5));
    EXPECT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(greet.FocusedControl(), &greet.Text1);
    EXPECT_EQ(List(), " 3 ab 1 \r\n 5 cd 2 \r\n 4 ef 1 \r\n");
    EXPECT_EQ(lab.host.TimeOf("top Blanke"), -1);
}

TEST_F(GreetTest, QuickFillProposesTheIdAfterTheLastRecord) {
    auto quickFill = [&](int64_t at) {
        lab.experiment.runtime.PutFocus(greet.Text2);
        CtrlTab(at);
        RunTo(at + 10);
        return greet.Text1.Text() + " " + greet.Text2.Text() + " " + greet.Text3.Text();
    };
    // No list: 1, "kvt", order condition 2; the focus lands in the order-condition box.
    EXPECT_EQ(quickFill(10), "1 kvt 2");
    EXPECT_EQ(greet.FocusedControl(), &greet.Text3);
    WriteList(" 12 kvt 1 \r\n");
    EXPECT_EQ(quickFill(20), "13 kvt 2");
    // LF line ends, comments, blank and malformed lines are skipped wherever they stand.
    WriteList("# subjects\n\n 13 ab 2 \n twelve xy 1 \n 14x zz 1 \n\n# end\n");
    EXPECT_EQ(quickFill(30), "14 kvt 1");
    WriteList("# nobody yet\r\n");
    EXPECT_EQ(quickFill(40), "1 kvt 2");
    // A last ID whose successor the box could not hold proposes 1, never "-8", "1000" or a number
    // past the 16-bit range that would be written other than shown.
    for (const char* last : {"-9", "999", "32767", "9223372036854775807"}) {
        WriteList(std::string(" ") + last + " ab 1 \r\n");
        EXPECT_EQ(quickFill(41), "1 kvt 2") << last;
    }
    WriteList(" -1 ab 1 \r\n");
    EXPECT_EQ(quickFill(42), "0 kvt 1");
    EXPECT_TRUE(Boxes().empty());

    // From the ID box the move validates it: 3, 5, 4 proposes 5, refused as taken.
    WriteList(" 3 ab 1 \r\n 5 cd 2 \r\n 4 ef 1 \r\n");
    lab.experiment.runtime.PutFocus(greet.Text1);
    CtrlTab(50);
    RunTo(60);
    EXPECT_EQ(Boxes(), std::vector<std::string>{Duplicate(5)});
    EXPECT_EQ(greet.FocusedControl(), &greet.Text1);
}

TEST_F(GreetTest, TheDuplicateCheckSkipsWhatIsNoRecordAndMakingAnExistingFolderIsNoFailure) {
    // A comma ends a number as a blank does.
    std::string list = "# pilot: 7\r\n\r\n 3 ab 1 \n garbage 9\r\n\t7 cd 2 \r\n11,ef,1\r\n";
    EXPECT_TRUE(ListHoldsId(list, 3));
    EXPECT_TRUE(ListHoldsId(list, 11));
    EXPECT_TRUE(ListHoldsId(list, 7));
    EXPECT_FALSE(ListHoldsId(list, 9));
    EXPECT_EQ(MakeFolder(lab.dir.path + "/Res_Data"), std::nullopt);
    EXPECT_EQ(MakeFolder(lab.dir.path + "/Res_Data"), std::nullopt);
    EXPECT_NE(MakeFolder(lab.dir.path + "/missing/Res_Data"), std::nullopt);
}

TEST_F(GreetTest, AListThatCannotBeWrittenIsReportedAndTheRunStays) {
    std::filesystem::create_directory(ListPath());
    greet.Text1.SetText("12");
    greet.Text2.SetText("kvt");
    greet.Text3.SetText("1");
    greet.RegisterSubject();
    // The system's own reason (Linux: "Is a directory"; Windows: "Access denied.").
    std::string reason = AppendIfAccepted(ListPath(), [](const std::string&) { return true; }, "").error;
    EXPECT_EQ(Boxes(), std::vector<std::string>{"msgbox 48 \"ERROR\" \"Could not write " + ListPath() + ":\\r" +
                                                reason + "\""});
    EXPECT_FALSE(std::filesystem::exists(lab.dir.path + "/Res_Data"));
    EXPECT_EQ(lab.experiment.runtime.ActiveScreen(), &greet);
}

}  // namespace
}  // namespace pelorin::test
