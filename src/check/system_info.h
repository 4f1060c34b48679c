#pragma once

#include <string>

#include "check/check_report.h"

// What the timing check asks the system itself: one file per system (linux/system_info_linux.cpp,
// win32/system_info_win32.cpp).
namespace pelorin::check {

// The power plan and the power source, where the system has plans.
PowerFigures ReadPower();
// The system's name for the report, such as "Linux (X11)" or "Windows under Wine 8.0".
std::string SystemName();
// How keys are injected here, for the report.
const char* InjectorName();

}  // namespace pelorin::check
