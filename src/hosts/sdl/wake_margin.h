#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelorin::sdl {

// How long before a deadline a timed sleep must end so that the rest, spun, ends on time. It learns
// from how late the operating system has woken the thread lately: a high quantile of the recent
// wake-ups, so that a single slow one does not make every later wait spin for long, capped so that a
// busy machine cannot turn the waits into spinning.
class WakeMargin {
public:
    static constexpr int64_t INITIAL_NANOS = 200'000;
    static constexpr int64_t MIN_NANOS = 30'000;
    static constexpr int64_t MAX_NANOS = 500'000;
    // Added to the quantile: a wake-up a little later than the worst counted still ends on time.
    static constexpr int64_t HEADROOM_NANOS = 20'000;
    // Wake-ups remembered, and how many of the latest among them are passed over as outliers.
    static constexpr size_t WINDOW = 64;
    static constexpr size_t OUTLIERS = 3;
    // Below this many wake-ups the initial margin holds.
    static constexpr size_t MIN_SAMPLES = 8;

    int64_t Nanos() const { return margin; }
    // A timed sleep ended lateNanos after the time it was set for.
    void Woke(int64_t lateNanos);

private:
    std::array<int64_t, WINDOW> recent{};
    size_t count = 0;
    size_t next = 0;
    int64_t margin = INITIAL_NANOS;
};

}  // namespace pelorin::sdl
