#pragma once

#include <vector>

#include "ui/host.h"

namespace pelorin::sdl {

// Tells SDL what it must know before its video starts.
void SetVideoHints();

// The displays as the system lists them, numbered from 0, each with its position, size, refresh
// rate and DPI. Starts SDL's video for as long as it takes when it is not running; throws StartError
// when there is no display to list.
std::vector<DisplayInfo> ListDisplays();

}  // namespace pelorin::sdl
