#pragma once

#include <string>

namespace pelorin {

// Tells the experimenter of a fault the program goes on with (no sound device). On Linux it goes to
// standard error. A Windows program started by a double-click has no console: there it also goes
// to pelorin.log in the current folder, beside the subject list, with the date and time.
void Warn(const std::string& message);

// The same for a fault that ends the program at start (no display, no font, a settings file it
// refuses): also shown in a message box of the system's, which a desktop launch or a double-click
// shows where standard error goes nowhere.
void ReportFailure(const std::string& message);

// The box ReportFailure shows on Linux, where the system has none that a program without a window
// can put up on its own: the real host's (SDL's, which X11 or Wayland shows without a window). Unset,
// as in the tests and the tools, nothing is shown there. Windows shows its own (MessageBoxW) always.
void ShowFailuresIn(void (*box)(const std::string& message));

}  // namespace pelorin
