#include <gtest/gtest.h>

#include "lab.h"

namespace pelorin::test {
namespace {

TEST(DisplayTest, TheMenuStaysCentredAsOneGroupAndItsButtonsStartBlocksWith1000MsBlanks) {
    Lab lab(20);
    lab.SetBlockNumber(3);
    Display& display = lab.experiment.Display();
    display.Start();
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("show Display.Label1 \"Conutinue?\""), 0);
    EXPECT_EQ(lab.host.Find("show Display.Command1(").size(), TASK_COUNT + 1);
    EXPECT_EQ(lab.host.TimeOf("show Display.Label2"), -1);

    // The heading and the buttons stand centred as one group, on any display size.
    auto centred = [&] {
        float left = display.Command1[0].Left();
        float right = display.Command1.back().Left() + display.Command1.back().Width();
        float top = display.Label1.Top();
        float bottom = display.Command1[0].Top() + display.Command1[0].Height();
        EXPECT_FLOAT_EQ((left + right) / 2, display.Width() / 2);
        EXPECT_FLOAT_EQ((top + bottom) / 2, display.Height() / 2);
    };
    centred();
    lab.host.Schedule(50, InputEvent::Resize(nullptr, 12000, 9000));
    lab.RunUntilIdle();
    centred();

    // "Letter task": blank 1000, cross 1000, blank 1000; unanswered, the bar climbs from 3000 to the
    // 9000-twip top in 200 ticks, and the block hands back 4500 ms later, to the menu again.
    lab.host.Schedule(100, InputEvent::Click(display.Command1[1]));
    lab.RunUntilIdle();
    EXPECT_EQ(lab.host.TimeOf("show Blanke.Label1", 100), 1100);
    EXPECT_EQ(lab.host.TimeOf("hide Blanke.Label1", 100), 2100);
    EXPECT_EQ(lab.host.TimeOf("top LetterTask", 100), 3100);
    EXPECT_EQ(lab.host.TimeOf("top Display", 3100), 3100 + 200 * 35 + 4500);
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, 5);

    // "Quit": no question.
    lab.host.Schedule(lab.host.NowMillis() + 10, InputEvent::Click(display.Command1.back()));
    EXPECT_THROW(lab.RunUntilIdle(), ProgramEnded);
    EXPECT_TRUE(lab.host.Find("msgbox").empty());
}

}  // namespace
}  // namespace pelorin::test
