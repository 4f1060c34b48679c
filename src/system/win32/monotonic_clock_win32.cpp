#include "system/monotonic_clock.h"

#include <windows.h>

#include "system/win32/performance_counter.h"

namespace pelorin {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;

int64_t CounterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

int64_t PerformanceCounterNanos(int64_t counter) {
    static const int64_t frequency = CounterFrequency();
    // Whole seconds and the rest apart, so that the product cannot overflow.
    int64_t seconds = counter / frequency;
    int64_t rest = counter % frequency;
    return seconds * NANOS_PER_SECOND + rest * NANOS_PER_SECOND / frequency;
}

int64_t MonotonicNanos() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return PerformanceCounterNanos(counter.QuadPart);
}

}  // namespace pelorin
