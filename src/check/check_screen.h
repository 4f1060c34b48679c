#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "screens/bar_game.h"
#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"
#include "ui/timer.h"

namespace pelorin::check {

// The timing check's own screen: what is being measured now, in the run's language, and a bar
// growing on a growth tick's timer across the display as the check goes on.
class CheckScreen : public Screen {
public:
    // How long the whole check runs, for the bar.
    static constexpr double EXPECTED_SECONDS = 30;

    explicit CheckScreen(Runtime& runtime) : Screen(runtime, "TimingCheck", 9600, 7200) {
        SetCaption(Text("check.title"));
    }

    void Form_Load() override {
        started = runtime.host.NowMicros();
        Timer1.SetInterval(BarGame::GROWTH_TICK_MS);
        Timer1.SetEnabled(true);
        Form_Resize();
    }

    void Form_Resize() override {
        float width = Width();
        float height = Height();
        Label1.Move(0, height * 0.15f, width, 700);
        Label2.Move(0, height * 0.35f, width, 600);
        Label3.Move(0, height * 0.45f, width, 600);
        Grow();
    }

    // The step now measured and what it measures.
    void Say(const std::string& what, const std::string& detail = "") {
        Label2.SetCaption(what);
        Label3.SetCaption(detail);
    }

    Label Label1{*this, "Label1", Text("check.title"), 0, 0, 9600, 700, Font{18, true}, Alignment::Center};
    Label Label2{*this, "Label2", "", 0, 0, 9600, 600, Font{13.5f, true}, Alignment::Center};
    Label Label3{*this, "Label3", "", 0, 0, 9600, 600, Font{12, false}, Alignment::Center};
    Shape Shape1{*this, "Shape1", Color{255, 0, 0}, 0, 0, 0, 0};
    Timer Timer1{*this, [this] { Grow(); }};

private:
    void Grow() {
        double done = std::min(1.0, static_cast<double>(runtime.host.NowMicros() - started) / (EXPECTED_SECONDS * 1e6));
        float barHeight = Height() * 0.06f;
        Shape1.Move(0, Height() * 0.75f, std::max(15.0f, Width() * static_cast<float>(done)), barHeight);
    }

    int64_t started = 0;
};

}  // namespace pelorin::check
