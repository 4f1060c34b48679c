#pragma once

#include <string>

namespace pelorin::sdl {

// A failure at start shown to whoever started the program, in the system's own box that SDL puts up
// without a window of the program's (X11's, or Wayland's through zenity). Where there is no display,
// or the box cannot be drawn, it returns at once: standard error has said it already.
void ShowFailureBox(const std::string& message);

}  // namespace pelorin::sdl
