#include "audio/sound_thread.h"

namespace pelorin::sdl {

// SDL already gives its audio thread the time-critical priority on Windows.
void RaiseSoundThread() {}

}  // namespace pelorin::sdl
