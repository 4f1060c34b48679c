#pragma once

namespace pelorin::sdl {

// Puts the calling thread, the one the audio device calls back on, above the rest where the system
// allows: kept waiting longer than a buffer, it lets the sound server run dry, and whatever plays
// then comes late.
void RaiseSoundThread();

}  // namespace pelorin::sdl
