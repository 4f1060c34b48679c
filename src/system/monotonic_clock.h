#pragma once

#include <cstdint>

namespace pelorin {

// Nanoseconds on the monotonic clock that the system's timers, input and sound outputs all run on.
int64_t MonotonicNanos();

}  // namespace pelorin
