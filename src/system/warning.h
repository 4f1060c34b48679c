#pragma once

#include <string>

namespace pelorin {

// Tells the experimenter of a fault the program goes on with (no sound device). On Linux it goes to
// standard error. A Windows program started by a double-click has no console: there it also goes
// to pelorin.log in the current folder, beside the subject list, with the date and time.
void Warn(const std::string& message);

// The same for a fault that ends the program at start (no display, no font); on Windows it is also
// shown in a message box, the only thing a double-click would otherwise show.
void ReportFailure(const std::string& message);

}  // namespace pelorin
