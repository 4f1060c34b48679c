#pragma once

namespace pelorin {
class Control;
class Screen;
}  // namespace pelorin

namespace pelorin::sdl {

struct PixelRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

// Twips to pixels at the display's twips per pixel, edges rounded each on its own, so that a control
// ending at the screen's bottom ends on the last pixel row whatever its height.
int ToPixels(float twips, float twipsPerPixel);
PixelRect ToPixels(float left, float top, float width, float height, float twipsPerPixel);
// A control's rectangle on its screen, frames included.
PixelRect PixelRectOf(const Control& control, float twipsPerPixel);

// Windowed controls (buttons, boxes, frames, text views, panes) stand above the labels and shapes
// drawn on the screen itself, whatever their order.
bool IsWindowed(const Control& control);

// The control a click at a pixel hits: the topmost shown windowed control there, looked into when it
// is a frame. Null where only the screen, a label or a shape is.
Control* HitTest(const Screen& screen, int x, int y, float twipsPerPixel);

}  // namespace pelorin::sdl
