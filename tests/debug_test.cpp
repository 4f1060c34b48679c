#include <gtest/gtest.h>

#include "lab.h"

namespace pelorin::test {
namespace {

TEST(DebugTest, TheBackQuoteTogglesTheWindowFromTheSequencerTheTasksAndItself) {
    Lab lab(20);
    lab.SetBlockNumber(0);
    // Registration, instruction and blank screen ignore the back quote.
    lab.experiment.Greet();
    lab.host.Schedule(1, InputEvent::KeyPress(KEY_GRAVE));
    lab.experiment.Blanke().Wait(10);
    lab.experiment.Instruction();
    lab.host.Schedule(11, InputEvent::KeyPress(KEY_GRAVE));
    lab.experiment.Blanke().Wait(10);
    lab.experiment.Blanke().Show();
    lab.host.Schedule(21, InputEvent::KeyPress(KEY_GRAVE));
    lab.experiment.Blanke().Wait(10);
    EXPECT_TRUE(lab.host.Find("window").empty());

    // On the announcement: shown topmost at the top-left, as wide as the display; the pane follows.
    lab.host.Schedule(100, InputEvent::KeyPress(KEY_GRAVE));
    // Pressed on the window itself: hidden; on the tone task: shown again.
    lab.experiment.Display().Start();
    lab.host.Schedule(6000, InputEvent::KeyPress(KEY_GRAVE, false, &lab.experiment.myDebug()));
    lab.host.Schedule(6100, InputEvent::KeyPress(KEY_GRAVE));
    lab.experiment.Blanke().Wait(700);
    EXPECT_EQ(lab.host.TimeOf("topmost myDebug"), 100);
    EXPECT_EQ(lab.Times("window myDebug 0 0 15360 1590"), (std::vector<int64_t>{100, 6100}));
    EXPECT_EQ(lab.host.TimeOf("window myDebug hidden"), 6000);
    EXPECT_EQ(lab.experiment.runtime.ActiveScreen(), &lab.experiment.ToneTask()) << "keys stay with the task";
    MyDebug& window = lab.experiment.myDebug();
    EXPECT_FLOAT_EQ(window.OLE1.Width(), 8415 * 15360 / 8445.0f);

    // Resized by hand: back to full width at the top-left, the pane in proportion.
    lab.host.Schedule(6400, InputEvent::Resize(&window, 5000, 3180));
    lab.experiment.Blanke().Wait(200);
    EXPECT_EQ(lab.host.TimeOf("window myDebug 0 0 15360 3180"), 6400);
    EXPECT_FLOAT_EQ(window.OLE1.Width(), 8415 * 15360 / 8445.0f);
    EXPECT_FLOAT_EQ(window.OLE1.Height(), 1575 * 2.0f);
}

TEST(DebugTest, LoadedWithNoActiveScreenItIsNotMadeTopmost) {
    Lab lab;
    lab.experiment.myDebug();
    EXPECT_TRUE(lab.host.Find("topmost").empty());
}

}  // namespace
}  // namespace pelorin::test
