#pragma once

#include <cstdint>
#include <optional>

#include "hosts/sdl/sdl_types.h"

namespace pelorin::sdl {

// A key is stamped when the program reads it. A key that arrives while the program's thread is busy
// (drawing a frame, handing a tone to the output) is read late; the X server's own stamp of the key
// press, taken when the key reached it, then tells when it arrived, to its millisecond.

// The display server's time of the key press SDL is about to turn into key events, from the system's
// own event that comes just before them in SDL's queue; none for any other event or system.
std::optional<uint32_t> KeyPressServerMillis(const SDL_Event& event);

// Asks SDL for the system's own events, where KeyPressServerMillis reads them (X11); whether it did.
bool WatchKeyPressTimes();

// How far after its millisecond a key may have reached the X server: a server on the same machine
// reads CLOCK_MONOTONIC in whole milliseconds, or its coarse variant (a tick behind) where that
// ticks at least every millisecond, as the X server chooses.
int64_t ServerStampSpanNanos();

// A key read at readNanos (monotonic) whose press the server stamped serverMillis (its monotonic
// milliseconds, wrapping at 2^32): the end of the stamp's span where the read came later, else the
// read. Either way no earlier than the key reached the server, and no later than the read. A server stamp that is not shortly before the read is not of this machine's
// clock (a remote display) and is not used.
int64_t KeyArrivalNanos(int64_t readNanos, uint32_t serverMillis, int64_t spanNanos);

}  // namespace pelorin::sdl
