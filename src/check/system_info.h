#pragma once

#include <string>

#include "check/check_report.h"

// What the timing check asks the system itself: one file per system (linux/system_info_linux.cpp,
// win32/system_info_win32.cpp).
namespace pelorin::check {

// The power plan and the power source, where the system has plans.
PowerFigures ReadPower();
// The system's name for the report, such as "Debian GNU/Linux 12 (bookworm), Linux 6.1.0 x86_64 (X11)"
// or "Windows 10.0 build 19045 under Wine 8.0".
std::string SystemName();
// The system whose rows of the timing mega-study the report sets beside its figures.
ReferenceSystem ReferenceSystemHere();
// How keys are injected here, for the report.
const char* InjectorName();

}  // namespace pelorin::check
