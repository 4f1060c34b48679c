#pragma once

#include <cstdint>
#include <functional>

#include "ui/control.h"
#include "ui/runtime.h"
#include "ui/screen.h"
#include "ui/timer.h"

namespace pelorin {

// The blank screen between all others: timed waits that keep events flowing, the hand-overs with and
// without the fixation cross, and the quit question on unload.
class Blanke : public Screen, public Waits {
public:
    explicit Blanke(Runtime& runtime);

    // Blank screen for timeInterval ms, then myForm's Start; returns when that Start has returned.
    void ShowBlanke(int16_t timeInterval, Screen& myForm);
    // Blank, cross, blank for the three times, then myForm's Start.
    void ShowBlankeCross(int16_t hideCrossTime1, int16_t showCrossTime, int16_t hideCrossTime2, Screen& myForm);
    // Returns after WaitTime ms while events keep running. A Wait begun inside another ends both.
    void Wait(int16_t WaitTime) override;
    // The same on a timer and flag of its own; the work handed to the runtime for the next wait is
    // done inside it, once its time runs.
    void Wait2(int16_t WaitTime) override;

    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;
    void Form_QueryUnload(bool& Cancel) override;

    Label Label1{*this, "Label1", "+", 0, 0, 1215, 495, Font{24, true}, Alignment::Center};
    Timer Timer1{*this, [this] { EndWait(Timer1, waitActive); }};
    Timer Timer2{*this, [this] { EndWait(Timer2, wait2Active); }};

    // Told of every quit question when it is answered: when it was put and answered, and whether the
    // answer quits.
    std::function<void(int64_t askedMicros, int64_t answeredMicros, bool quit)> onQuitQuestion;

    bool waitActive = false;
    bool wait2Active = false;

private:
    // The loop both waits share: each passes its own timer and flag, so a Wait begun inside a Wait2
    // leaves the outer one running, while one begun inside a Wait of its kind ends both. doWaitWork:
    // the work handed to the runtime for the next wait is done inside this one, once its time runs.
    void WaitOn(Timer& timer, bool& active, int16_t WaitTime, bool doWaitWork);
    static void EndWait(Timer& timer, bool& active);
    void ParkCursor();
};

}  // namespace pelorin
