#include "hosts/sdl/wake_margin.h"

#include <gtest/gtest.h>

namespace pelorin::sdl {
namespace {

constexpr int64_t MICROS = 1000;

void Wake(WakeMargin& margin, int times, int64_t lateNanos) {
    for (int i = 0; i < times; ++i) margin.Woke(lateNanos);
}

TEST(WakeMarginTest, FollowsHowLateTheWakeUpsAreLately) {
    WakeMargin margin;
    // Too few wake-ups to judge by: the initial margin holds.
    Wake(margin, static_cast<int>(WakeMargin::MIN_SAMPLES) - 1, 60 * MICROS);
    EXPECT_EQ(margin.Nanos(), WakeMargin::INITIAL_NANOS);
    // Then the margin covers the wake-ups seen, with headroom.
    margin.Woke(60 * MICROS);
    EXPECT_EQ(margin.Nanos(), 80 * MICROS);

    // A few slow wake-ups in the window are passed over...
    Wake(margin, 64 - 8, 60 * MICROS);
    Wake(margin, 3, 3000 * MICROS);
    EXPECT_EQ(margin.Nanos(), 80 * MICROS);
    // ...more are not,
    Wake(margin, 5, 250 * MICROS);
    EXPECT_EQ(margin.Nanos(), 270 * MICROS);
    // and once the window has moved past them the margin comes down again.
    Wake(margin, 60, 40 * MICROS);
    EXPECT_EQ(margin.Nanos(), 270 * MICROS) << "four of them are still in the window";
    margin.Woke(40 * MICROS);
    EXPECT_EQ(margin.Nanos(), 60 * MICROS);
}

TEST(WakeMarginTest, StaysWithinItsBounds) {
    WakeMargin margin;
    // A machine that wakes threads milliseconds late does not turn the waits into spinning.
    Wake(margin, 64, 5000 * MICROS);
    EXPECT_EQ(margin.Nanos(), WakeMargin::MAX_NANOS);
    // Prompt wake-ups, or a clock read that seems to come before the timer, leave a least margin.
    Wake(margin, 64, -10 * MICROS);
    EXPECT_EQ(margin.Nanos(), WakeMargin::MIN_NANOS);
}

}  // namespace
}  // namespace pelorin::sdl
