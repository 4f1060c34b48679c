#pragma once

#include <initializer_list>

namespace pelorin {

class Control;
class Screen;

// The memory of ScaleControls: the screen size at the end of its last call; 0 until it first runs.
struct Procedures1 {
    float prevWidth = 0;
    float prevHeight = 0;
};

// Centres the control on the screen.
void CenterControl(Control& c, Screen& s);
// Moves every control of the screen so that the bounding box of its visible controls is centred.
void CenterControlGroup(Screen& s);
// Scales the main control's size and every other control's position by the change of the screen's
// size since the last call.
void ScaleControls(Procedures1& procedures1, Screen& s, Control& m);
// Shows each screen in order, loading it first if needed.
void ShowForms(std::initializer_list<Screen*> forms);
// Loads each screen in order and makes it visible.
void LoadForms(std::initializer_list<Screen*> forms);

}  // namespace pelorin
