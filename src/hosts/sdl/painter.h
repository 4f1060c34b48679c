#pragma once

#include "hosts/sdl/canvas.h"
#include "hosts/sdl/text_layout.h"
#include "ui/control.h"

namespace pelorin {
class Screen;
}

namespace pelorin::sdl {

// Draws the control model of a screen onto one window's canvas.
class Painter {
public:
    Painter(Canvas& canvas, TextViewLayouts& layouts);

    // The whole window: the screen's face and its controls, the focused one marked when the screen
    // is the active one.
    void DrawScreen(const Screen& screen, bool active);

private:
    void DrawControls(const Screen& screen, const Frame* parent, bool active);
    void DrawLabel(const Label& label);
    void DrawTextBox(const TextBox& box, bool focused);
    void DrawFrame(const Screen& screen, const Frame& frame, bool active);
    void DrawTextView(const TextView& view);

    Canvas& canvas;
    Fonts& fonts;
    TextViewLayouts& layouts;
};

}  // namespace pelorin::sdl
