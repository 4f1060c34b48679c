#include "hosts/sdl/wake_margin.h"

#include <algorithm>

namespace pelorin::sdl {

void WakeMargin::Woke(int64_t lateNanos) {
    recent[next] = std::max<int64_t>(lateNanos, 0);
    next = (next + 1) % WINDOW;
    count = std::min(count + 1, WINDOW);
    if (count < MIN_SAMPLES) return;
    std::array<int64_t, WINDOW> sorted = recent;
    auto end = sorted.begin() + static_cast<std::ptrdiff_t>(count);
    // The outliers passed over scale with how much is remembered, none while little is.
    size_t skip = OUTLIERS * count / WINDOW;
    auto quantile = end - 1 - static_cast<std::ptrdiff_t>(skip);
    std::nth_element(sorted.begin(), quantile, end);
    margin = std::clamp(*quantile + HEADROOM_NANOS, MIN_NANOS, MAX_NANOS);
}

}  // namespace pelorin::sdl
