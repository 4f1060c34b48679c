#pragma once

#include <cstdint>

#include "ui/control.h"
#include "ui/layout.h"
#include "ui/screen.h"

namespace pelorin {

class Experiment;

// The experimenter's debug window: an empty pane that floats above everything, spanning the top of
// the display, shown and hidden with the back quote.
class MyDebug : public Screen {
public:
    explicit MyDebug(Experiment& experiment);

    void Form_Load() override;
    void Form_Resize() override;
    void Form_KeyPress(int16_t& KeyAscii) override;

    Pane OLE1{*this, "OLE1", 0, 0, 8415, 1575};

private:
    Experiment& experiment;
    // The only screen that scales its controls with its size.
    Procedures1 procedures1;
};

// The back-quote toggle of the block sequencer, the task screens and the debug window itself: shows
// the debug window if it is hidden, hides it otherwise. The first use creates and loads it.
void ToggleDebugWindow(Experiment& experiment);

}  // namespace pelorin
