#include "screens/blanke.h"

#include <cmath>

#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

Blanke::Blanke(Runtime& runtime) : Screen(runtime, "Blanke", 9600, 7200) { SetCaption("Blanke"); }

void Blanke::Form_Load() {
    SetKeyPreview(true);
    Label1.SetVisible(false);
}

void Blanke::Form_Resize() { CenterControl(Label1, *this); }

void Blanke::Form_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_ESCAPE) {
        KeyAscii = 0;
        Unload();
    }
}

void Blanke::Form_QueryUnload(bool& Cancel) {
    int64_t asked = runtime.host.NowMicros();
    bool quit = runtime.MsgBox(Text("quit.question"), MB_QUESTION_YES_NO) == ID_YES;
    if (onQuitQuestion) onQuitQuestion(asked, runtime.host.NowMicros(), quit);
    if (quit) runtime.End();
    Cancel = true;
}

void Blanke::Wait(int16_t WaitTime) { WaitOn(Timer1, waitActive, WaitTime, false); }

void Blanke::Wait2(int16_t WaitTime) { WaitOn(Timer2, wait2Active, WaitTime, true); }

void Blanke::WaitOn(Timer& timer, bool& active, int16_t WaitTime, bool doWaitWork) {
    // A timer of 0 ms never ticks: a wait of no time returns at once instead of never.
    if (WaitTime <= 0) {
        if (doWaitWork) runtime.DoWaitWork();
        return;
    }
    active = true;
    timer.SetInterval(WaitTime);
    timer.SetEnabled(true);
    // The wait's time is already running: the work handed to it (a flush) costs none of it.
    if (doWaitWork) runtime.DoWaitWork();
    while (active) runtime.WaitPass();
}

void Blanke::EndWait(Timer& timer, bool& active) {
    timer.SetEnabled(false);
    active = false;
}

void Blanke::ShowBlanke(int16_t timeInterval, Screen& myForm) {
    Show();
    ParkCursor();
    Wait2(timeInterval);
    myForm.Start();
}

void Blanke::ShowBlankeCross(int16_t hideCrossTime1, int16_t showCrossTime, int16_t hideCrossTime2,
                             Screen& myForm) {
    ShowForms({this});
    ParkCursor();
    Wait2(hideCrossTime1);
    Label1.SetVisible(true);
    Wait2(showCrossTime);
    Label1.SetVisible(false);
    Wait2(hideCrossTime2);
    myForm.Start();
}

void Blanke::ParkCursor() {
    // Pixel coordinates at or beyond the last pixel: the pointer service puts it in the corner.
    int x = static_cast<int>(std::nearbyint(runtime.DisplayWidth()));
    int y = static_cast<int>(std::nearbyint(runtime.DisplayHeight()));
    runtime.SetCursorPos(x, y);
}

}  // namespace pelorin
