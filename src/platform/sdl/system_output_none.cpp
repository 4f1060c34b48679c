// Where the program has no sound output of the system's own, SDL's plays every sound.
#include "platform/sdl/system_output.h"

namespace pelorin::sdl {

std::unique_ptr<SystemOutput> OpenSystemOutput(Mixer&) { return nullptr; }

}  // namespace pelorin::sdl
