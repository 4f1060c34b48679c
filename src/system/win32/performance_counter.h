#pragma once

#include <cstdint>

namespace pelorin {

// A reading of the performance counter (QueryPerformanceCounter's, as the system's own times such as
// DWM's are given) on MonotonicNanos' clock.
int64_t PerformanceCounterNanos(int64_t counter);

}  // namespace pelorin
