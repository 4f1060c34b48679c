#pragma once

// What the systems' halves of InputWait share.
#include <cstdint>

namespace pelorin::sdl {

inline constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;
inline constexpr int64_t NANOS_PER_MILLI = 1'000'000;

// Whether SDL's queue holds an event.
bool SdlHasEvents();

// After another thread announced an event: waits, briefly, until it is in SDL's queue.
void AwaitPushedEvent();

}  // namespace pelorin::sdl
