#include <gtest/gtest.h>

#include <vector>

#include "hosts/headless/headless_host.h"
#include "screens/blanke.h"
#include "screens/experiment.h"
#include "ui/timer.h"

namespace pelorin {
namespace {

// The next screen of a hand-over: its Start shows it and notes the time.
class Probe : public Screen {
public:
    explicit Probe(Runtime& runtime) : Screen(runtime, "Probe", 9000, 6000) {}
    void Start() override {
        Show();
        starts.push_back(runtime.host.NowMicros() / 1000);
    }
    Timer Timer1{*this, [this] { Timer1_Timer(); }};
    std::function<void()> Timer1_Timer;
    std::vector<int64_t> starts;
};

class BlankeTest : public ::testing::Test {
protected:
    // Waits as a screen's handler would, noting when it returned.
    void TimedWait(int16_t millis, std::vector<int64_t>& returns) {
        experiment.Blanke().Wait(millis);
        returns.push_back(host.NowMillis());
    }
    // Runs a handler at a virtual time, from inside whatever wait is running then.
    void At(int64_t millis, std::function<void()> handler) {
        probe.Timer1_Timer = [this, handler] {
            probe.Timer1.SetEnabled(false);
            handler();
        };
        probe.Timer1.SetInterval(static_cast<int>(millis - host.NowMillis()));
        probe.Timer1.SetEnabled(true);
    }

    HeadlessHost host{1024, 768, "/nonexistent"};
    Experiment experiment{host};
    Probe probe{experiment.runtime};
};

TEST_F(BlankeTest, CrossHandOverKeepsItsTimelineAndLeavesTheCrossHidden) {
    Blanke& blanke = experiment.Blanke();
    blanke.ShowBlankeCross(1000, 1000, 500, probe);
    EXPECT_EQ(host.TimeOf("top Blanke"), 0);
    EXPECT_EQ(host.TimeOf("show Blanke.Label1 \"+\""), 1000);
    EXPECT_EQ(host.TimeOf("hide Blanke.Label1"), 2000);
    EXPECT_EQ(probe.starts, std::vector<int64_t>{2500});
    EXPECT_FALSE(blanke.Label1.Visible());
    // The pointer is parked in the bottom-right corner.
    EXPECT_EQ(host.CursorX(), 1023);
    EXPECT_EQ(host.CursorY(), 767);
    // The cross stands in the middle of the display.
    EXPECT_FLOAT_EQ(blanke.Label1.Left(), (15360 - 1215) / 2.0f);
    EXPECT_FLOAT_EQ(blanke.Label1.Top(), (11520 - 495) / 2.0f);

    // A plain hand-over afterwards shows no cross.
    experiment.runtime.DoEvents();
    host.ClearTrace();
    blanke.ShowBlanke(100, probe);
    EXPECT_EQ(host.TimeOf("top Blanke"), 2500);
    EXPECT_TRUE(host.Find("show Blanke.Label1").empty());
    EXPECT_EQ(probe.starts.back(), 2600);
    experiment.runtime.DoEvents();
    EXPECT_EQ(host.TimeOf("top Probe"), 2600);

    // A resize of the display keeps the cross centred.
    host.Schedule(2700, InputEvent::Resize(nullptr, 12000, 9000));
    blanke.Wait(200);
    EXPECT_FLOAT_EQ(blanke.Label1.Left(), (12000 - 1215) / 2.0f);
}

TEST_F(BlankeTest, TheQuestionAnsweredNoHoldsTheBlankAndTheCross) {
    // No after 300 ms on the first blank and after 200 ms on the cross: each part keeps the time it
    // had left, and the screen after them comes 500 ms late.
    host.Schedule(400, InputEvent::KeyPress(KEY_ESCAPE));
    host.AnswerMessageBox(ID_NO, 300);
    host.Schedule(1800, InputEvent::KeyPress(KEY_ESCAPE));
    host.AnswerMessageBox(ID_NO, 200);
    experiment.Blanke().ShowBlankeCross(1000, 1000, 500, probe);
    EXPECT_EQ(host.TimeOf("msgbox 36"), 400);
    EXPECT_EQ(host.TimeOf("show Blanke.Label1 \"+\""), 1300);
    EXPECT_EQ(host.TimeOf("msgbox 36", 1301), 1800);
    EXPECT_EQ(host.TimeOf("hide Blanke.Label1"), 2500);
    EXPECT_EQ(probe.starts, std::vector<int64_t>{3000});
}

TEST_F(BlankeTest, NestedWaitsOfOneKindEndTogetherButWaitAndWait2ShareNothing) {
    Blanke& blanke = experiment.Blanke();
    std::vector<int64_t> returns;

    // A Wait begun inside a Wait ends both at the inner one's time.
    At(100, [&] { TimedWait(50, returns); });
    TimedWait(1000, returns);
    EXPECT_EQ(returns, (std::vector<int64_t>{150, 150}));

    // A Wait inside a Wait2 ends on its own and leaves the Wait2 alone.
    returns.clear();
    At(250, [&] { TimedWait(25, returns); });
    blanke.Wait2(2000);
    returns.push_back(host.NowMillis());
    EXPECT_EQ(returns, (std::vector<int64_t>{275, 2150}));

    // A Wait2 begun inside a Wait2 ends both at the inner one's time, as two Waits do.
    returns.clear();
    At(2200, [&] {
        blanke.Wait2(30);
        returns.push_back(host.NowMillis());
    });
    blanke.Wait2(5000);
    returns.push_back(host.NowMillis());
    EXPECT_EQ(returns, (std::vector<int64_t>{2230, 2230}));

    // Waits of no time return at once.
    blanke.Wait(0);
    blanke.Wait(-5);
    blanke.Wait2(0);
    EXPECT_EQ(host.NowMillis(), 2230);
}

TEST_F(BlankeTest, QuitQuestionNoCarriesOnYesEnds) {
    Blanke& blanke = experiment.Blanke();
    blanke.Show();
    // Esc during a wait of either kind: No, and the wait goes on with the time it had left when the
    // question came.
    host.Schedule(300, InputEvent::KeyPress(KEY_ESCAPE));
    host.AnswerMessageBox(ID_NO, 200);
    blanke.Wait(1000);
    EXPECT_EQ(host.NowMillis(), 1200);
    EXPECT_EQ(host.TimeOf("msgbox 36 \"Pelorin\" \"Do you really want to quit?\""), 300);
    host.Schedule(1500, InputEvent::KeyPress(KEY_ESCAPE));
    host.AnswerMessageBox(ID_NO, 200);
    blanke.Wait2(1000);
    EXPECT_EQ(host.NowMillis(), 2400);
    EXPECT_TRUE(blanke.Loaded());

    // The window system's close button asks the same; Yes ends the program from inside the wait.
    host.Schedule(2500, InputEvent::Close());
    host.AnswerMessageBox(ID_YES);
    EXPECT_THROW(blanke.Wait(1000), ProgramEnded);
    EXPECT_EQ(host.NowMillis(), 2500);
    EXPECT_EQ(host.Find("msgbox 36").size(), 3u);
}

}  // namespace
}  // namespace pelorin
