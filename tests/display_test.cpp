#include <gtest/gtest.h>

#include "lab.h"

namespace pelorin::test {
namespace {

TEST(DisplayTest, TheFirstThreeVisitsAnnounceTheFixedBlocksThenTheMenuComes) {
    Lab lab(20);
    Display& display = lab.experiment.Display();
    // The order condition changes nothing.
    lab.experiment.templateVariables.orderCondition = 2;
    EXPECT_EQ(lab.experiment.templateVariables.letters, (std::array<std::string, 4>{"", "A", "B", "C"}));
    display.Start();
    lab.RunUntilIdle();

    // Announcement 3000 ms, blank 1000, cross 1000, blank 500; each block, unanswered, ends by overflow
    // 8960 ms after its start and hands back 4500 ms later.
    const char* announcements[] = {
        "Let's start with a trial where you only have to respond to tone.",
        "Now let's move on to a trial where you only have to respond to letters.",
        "Now let's move on to a trial where you have to respond to both letters and tones.",
    };
    const char* tasks[] = {"top ToneTask", "top LetterTask", "top Tone_LetterTask"};
    int64_t visit = 0;
    for (int block = 0; block < 3; ++block) {
        EXPECT_EQ(lab.host.TimeOf("show Display.Label2 \"" + std::string(announcements[block]) + "\""), visit);
        EXPECT_EQ(lab.host.TimeOf("top Blanke", visit), visit + 3000);
        EXPECT_EQ(lab.host.TimeOf("show Blanke.Label1 \"+\"", visit), visit + 4000);
        EXPECT_EQ(lab.host.TimeOf("hide Blanke.Label1", visit), visit + 5000);
        EXPECT_EQ(lab.host.TimeOf(tasks[block], visit), visit + 5500);
        visit += 5500 + 8960 + 4500;
    }
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, 4);
    EXPECT_EQ(lab.host.TimeOf("show Display.Label1 \"Conutinue?\""), visit);
    EXPECT_FALSE(display.Label2.Visible());

    // The heading and the buttons stand centred as one group, on any display size.
    auto centred = [&] {
        float left = display.Command1[0].Left();
        float right = display.Command1[3].Left() + display.Command1[3].Width();
        float top = display.Label1.Top();
        float bottom = display.Command1[0].Top() + display.Command1[0].Height();
        EXPECT_FLOAT_EQ((left + right) / 2, display.Width() / 2);
        EXPECT_FLOAT_EQ((top + bottom) / 2, display.Height() / 2);
    };
    centred();
    lab.host.ScheduleDisplayResize(visit + 10, 800, 600);
    lab.RunUntilIdle();
    centred();
}

TEST(DisplayTest, MenuButtonsStartBlocksWith1000MsBlanksAndQuitEndsAtOnce) {
    Lab lab(20);
    lab.SetBlockNumber(3);
    Display& display = lab.experiment.Display();
    display.Start();
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.Find("show Display.Command1(").size(), 4u);
    EXPECT_EQ(lab.host.TimeOf("show Display.Command1(2) button \"Tone + Letter\""), 0);

    // "Letter task": blank 1000, cross 1000, blank 1000; after the block the menu comes again.
    lab.host.ScheduleClick(100, display.Command1[1]);
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("show Blanke.Label1", 100), 1100);
    EXPECT_EQ(lab.host.TimeOf("hide Blanke.Label1", 100), 2100);
    EXPECT_EQ(lab.host.TimeOf("top LetterTask", 100), 3100);
    EXPECT_EQ(lab.host.TimeOf("top Display", 3100), 3100 + 8960 + 4500);
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, 5);

    // "Quit": no question.
    lab.host.ScheduleClick(lab.host.NowMillis() + 10, display.Command1[3]);
    EXPECT_THROW(lab.RunUntilIdle(), ProgramEnded);
    EXPECT_TRUE(lab.host.Find("msgbox").empty());
}

}  // namespace
}  // namespace pelorin::test
