#include "system/monotonic_clock.h"

#include <windows.h>

namespace pelorin {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;

int64_t CounterFrequency() {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

int64_t MonotonicNanos() {
    static const int64_t frequency = CounterFrequency();
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    int64_t seconds = counter.QuadPart / frequency;
    int64_t rest = counter.QuadPart % frequency;
    return seconds * NANOS_PER_SECOND + rest * NANOS_PER_SECOND / frequency;
}

}  // namespace pelorin
