#include "screens/my_debug.h"

#include "screens/experiment.h"
#include "ui/layout.h"
#include "ui/runtime.h"

namespace pelorin {

MyDebug::MyDebug(Experiment& experiment)
    : Screen(experiment.runtime, "myDebug", 8445, 1590, true), experiment(experiment) {
    SetCaption(Text("debug.caption"));
}

void MyDebug::Form_Load() {
    // Loaded with no screen active there is nothing to float above.
    if (runtime.ActiveScreen() == nullptr) return;
    runtime.host.SetTopMost(*this);
}

void MyDebug::Form_Resize() {
    ScaleControls(procedures1, *this, OLE1);
    // NOTE: this resize raises Form_Resize again, which scales the pane to the full width and moves nothing.
    Move(0, 0, runtime.DisplayWidth(), Height());
}

void MyDebug::Form_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii == KEY_GRAVE) {
        KeyAscii = 0;
        ToggleDebugWindow(experiment);
    }
}

void ToggleDebugWindow(Experiment& experiment) {
    MyDebug& window = experiment.myDebug();
    window.SetVisible(!window.Visible());
}

}  // namespace pelorin
