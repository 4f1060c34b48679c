#pragma once

#include <string_view>

#include "ui/host.h"

// What the system itself says about its displays and its keyboard where SDL does not: one file per
// system (linux/system_display_x11.cpp, win32/system_display_win32.cpp).
namespace pelorin::sdl {

// The DPI the system asks programs to draw at on a display (its bounds set), and where it was read:
// on Windows the monitor's own, on X11 the desktop's Xft.dpi where set, else 96.
void ReadDisplayDpi(DisplayInfo& display);

// The active keyboard layout, and which of the characters in keys none of its keys types.
KeyboardLayout ReadKeyboardLayout(std::string_view keys);

}  // namespace pelorin::sdl
