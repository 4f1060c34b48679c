#include "audio/audio_clock.h"

#include <gtest/gtest.h>

#include <random>

namespace pelorin::sdl {
namespace {

constexpr int RATE = 44100;
constexpr int BUFFER = 512;

// A device that asks for each buffer on its own pace, late by up to `lateNanos` at random; it runs
// `speed` times as fast as the machine's clock, and from buffer 1500 on plays `stepNanos` later, as
// after a sound server ran dry. Checks at random moments between askings that a sound asked for then
// is placed in a buffer not yet handed over, at the fixed latency, and where the device plays it.
void CheckPlacement(double speed, int64_t lateNanos, int64_t stepNanos = 0) {
    SCOPED_TRACE("speed " + std::to_string(speed) + ", late up to " + std::to_string(lateNanos) + " ns");
    AudioClock clock(RATE, BUFFER);
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> late(0, lateNanos);
    const double period = 1e9 * BUFFER / RATE / speed;
    const int64_t start = 5'000'000'000;
    uint64_t handedOver = 0;
    int checked = 0;
    for (int buffer = 0; buffer < 3000; ++buffer) {
        const int64_t step = buffer >= 1500 ? stepNanos : 0;
        const auto due = start + static_cast<int64_t>(period * buffer) + step;
        const int64_t asked = due + late(random);
        clock.Asked(handedOver, asked);
        handedOver += BUFFER;
        // Until two stretches have been seen, a sound goes in the next buffer if its place has passed.
        if (buffer < 2 * int(AudioClock::STRETCH)) continue;
        // A call somewhere before the next asking.
        const auto nextDue = start + static_cast<int64_t>(period * (buffer + 1)) + step;
        const int64_t call = std::uniform_int_distribution<int64_t>(asked, nextDue)(random);
        const uint64_t frame = clock.FrameAt(call + clock.FixedLatencyNanos());
        ASSERT_GE(frame, handedOver) << "buffer " << buffer << ": the sound would start in the past";
        const int64_t onset = clock.OutputNanos(frame);
        EXPECT_GE(onset, call + clock.FixedLatencyNanos() - 1);
        EXPECT_LT(onset, call + clock.FixedLatencyNanos() + 1'000'000'000 / RATE + 10);
        // Where the device really plays that frame: a buffer after it would ask for it on time.
        const double played = double(start + step) + period * (double(frame) / BUFFER + 1);
        // A step of more than a buffer is seen at once, a smaller one once a whole stretch of askings
        // has come after it and the line is drawn through two again.
        const int seen = stepNanos > period ? 2 : 3 * int(AudioClock::STRETCH);
        const bool settling = buffer >= 1500 && buffer < 1500 + seen;
        if (buffer > 1000 && !settling) {
            EXPECT_NEAR(double(onset), played, 150'000) << "buffer " << buffer;
        }
        ++checked;
    }
    EXPECT_GT(checked, 2800);
}

TEST(AudioClockTest, SoundsArePlacedAtTheFixedLatencyNeverInThePast) {
    // A steady device, one kept waiting by a busy machine, and SDL's dummy driver, which runs ~5% fast.
    CheckPlacement(1.0, 0);
    CheckPlacement(1.0, 3'000'000);
    CheckPlacement(1.05, 1'000'000);
    // A sound server or card whose clock runs 500 ppm apart from the machine's, either way.
    CheckPlacement(1.0005, 2'000'000);
    CheckPlacement(0.9995, 2'000'000);
    CheckPlacement(1.0, 2'000'000, 5'000'000);
    CheckPlacement(1.0, 2'000'000, 40'000'000);
    // The latency: two 512-frame buffers and a millisecond, under the 25 ms a lab can accept.
    AudioClock clock(RATE, BUFFER);
    EXPECT_EQ(clock.FixedLatencyNanos(), 2 * 11'609'977 + 1'000'000);
}

TEST(AudioClockTest, FramesMapToTimesFromTheEarliestAskings) {
    AudioClock clock(RATE, BUFFER);
    EXPECT_FALSE(clock.Known());
    // Askings late by 3, 0 (on time) and 2 ms: frame 0 is due one buffer after the on-time one's pace.
    clock.Asked(0, 1'000'000'000 + 3'000'000);
    clock.Asked(512, 1'000'000'000 + clock.FramesToNanos(512));
    clock.Asked(1024, 1'000'000'000 + clock.FramesToNanos(1024) + 2'000'000);
    clock.Asked(1536, 1'000'000'000 + clock.FramesToNanos(1536) + 1'000'000);
    EXPECT_TRUE(clock.Known());
    EXPECT_EQ(clock.OutputNanos(0), 1'000'000'000 + clock.FramesToNanos(512));
    EXPECT_EQ(clock.FrameAt(clock.OutputNanos(44100)), 44100u);
    // Between two frames: the later one.
    EXPECT_EQ(clock.FrameAt(clock.OutputNanos(44100) + 1), 44101u);
    // Long runs stay exact to the nanosecond: ten days of frames.
    EXPECT_EQ(clock.FramesToNanos(uint64_t{RATE} * 864'000), int64_t{864'000} * 1'000'000'000);
    EXPECT_EQ(clock.FramesToNanos(1), 22'675);
}

}  // namespace
}  // namespace pelorin::sdl
