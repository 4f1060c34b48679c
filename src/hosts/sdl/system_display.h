#pragma once

#include <optional>
#include <string_view>

#include "ui/host.h"

// What the system itself says about its displays and its keyboard where SDL does not: one file per
// system (linux/system_display_x11.cpp, win32/system_display_win32.cpp).
namespace pelorin::sdl {

// The DPI the system asks programs to draw at on a display (its bounds set), and where it was read:
// on Windows the monitor's own, on X11 the desktop's Xft.dpi where set, else 96.
void ReadDisplayDpi(DisplayInfo& display);

// The size in millimetres of the picture of the monitor that shows a display (its bounds set), where
// the system gives it: on X11 from RandR (the output's EDID, else its own size), on Windows from the
// monitor's EDID. Left 0 where it does not (Xvfb, a projector, a remote desktop).
void ReadDisplaySize(DisplayInfo& display);

// A monitor's picture size in millimetres from its EDID: the first detailed timing's, else the
// basic block's centimetres. nullopt for bytes that are no EDID or give no size (projectors).
struct PictureSize {
    double widthMm = 0;
    double heightMm = 0;
};
std::optional<PictureSize> EdidPictureSize(std::string_view edid);

// The active keyboard layout, and which of the characters in keys none of its keys types.
KeyboardLayout ReadKeyboardLayout(std::string_view keys);

}  // namespace pelorin::sdl
