// The refresh that showed each frame, from a compositor's readings: made-up readings as DWM gives
// them at 60 Hz, on time, late, read too seldom, wrapping, and falling silent.
#include "hosts/sdl/composition_frames.h"

#include <gtest/gtest.h>

#include <limits>

namespace pelorin::sdl {
namespace {

constexpr int64_t PERIOD = 16'666'667;
constexpr int64_t MS = 1'000'000;

// When refresh `refresh` (counted from the run's first) began, plus `after`.
int64_t At(int64_t refresh, int64_t after = 0) { return 10'000'000'000 + refresh * PERIOD + after; }

// A reading at `taken` in refresh `refresh`, of counters that stood at `base` at the first refresh:
// composition `composed` made a millisecond into refresh `composedAt`, `displayed` shown at `displayedAt`.
CompositionSample Read(uint64_t base, int64_t taken, int64_t refresh, int64_t composed, int64_t composedAt,
                       int64_t displayed, int64_t displayedAt) {
    return CompositionSample{taken, PERIOD, base + static_cast<uint64_t>(refresh), At(refresh),
                             base + static_cast<uint64_t>(composed), At(composedAt, MS),
                             base + static_cast<uint64_t>(displayed), base + static_cast<uint64_t>(displayedAt),
                             At(displayedAt)};
}

// Frame 1 handed over 5 ms into refresh 10, read just before: composition 5 made, 4 on the display.
CompositionFrames PresentedAtTen(uint64_t base = 1000) {
    CompositionFrames frames;
    frames.Add(Read(base, At(10, 4 * MS), 10, 5, 9, 4, 9));
    frames.Presented(1, At(10, 5 * MS));
    return frames;
}

TEST(CompositionFrames, AFrameShowsAtTheRefreshItsCompositionReachedTheDisplay) {
    // Counters near their end wrap between the readings, and nothing changes.
    for (uint64_t base : {uint64_t{1000}, std::numeric_limits<uint64_t>::max() - 10}) {
        CompositionFrames frames = PresentedAtTen(base);
        EXPECT_TRUE(frames.Composing());
        // Composition 6, made after the call, carries it: the next frame may go out meanwhile.
        EXPECT_TRUE(frames.Add(Read(base, At(11, 2 * MS), 11, 6, 11, 5, 10)).empty());
        EXPECT_FALSE(frames.Composing());
        std::vector<ShownFrame> shown = frames.Add(Read(base, At(12, 2 * MS), 12, 6, 11, 6, 12));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].stamped);
        EXPECT_EQ(shown[0].msc, base + 12);
        EXPECT_EQ(shown[0].ustNanos, At(12));
        EXPECT_EQ(shown[0].targetMsc, base + 12);
        EXPECT_EQ(frames.RefreshNanos(), PERIOD);
    }
    // No composition since the call in the first reading after it: the next one carries the frame,
    // and shown a refresh later than it could have been, it is late.
    CompositionFrames frames = PresentedAtTen();
    frames.Add(Read(1000, At(10, 6 * MS), 10, 5, 9, 4, 9));
    frames.Add(Read(1000, At(12, 2 * MS), 12, 6, 12, 5, 10));
    std::vector<ShownFrame> shown = frames.Add(Read(1000, At(13, 2 * MS), 13, 6, 12, 6, 13));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].ustNanos, At(13));
    EXPECT_GT(shown[0].msc, shown[0].targetMsc);
}

TEST(CompositionFrames, WhatTheReadingsCannotTellIsSettledWithoutAStamp) {
    const std::vector<std::vector<CompositionSample>> cases = {
        // Two compositions since the reading before the call: which came first after it is unknown.
        {Read(1000, At(12, 2 * MS), 12, 7, 12, 6, 12)},
        // The display went from before the frame's composition to past it between two readings.
        {Read(1000, At(11, 2 * MS), 11, 6, 11, 5, 10), Read(1000, At(13, 2 * MS), 13, 7, 12, 7, 13)},
        // A display that says it showed the frame's composition before the frame was handed over.
        {Read(1000, At(11, 2 * MS), 11, 6, 11, 6, 10)},
    };
    for (const auto& readings : cases) {
        CompositionFrames frames = PresentedAtTen();
        std::vector<ShownFrame> shown;
        for (const CompositionSample& reading : readings) shown = frames.Add(reading);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].stamped);
        EXPECT_FALSE(frames.Failed());
    }
}

TEST(CompositionFrames, ACompositorThatStopsAnsweringFailsAndNoFrameWaitsForIt) {
    // Counters that stand still: each frame settled unstamped once well overdue; a few in a row fail.
    CompositionFrames frozen;
    frozen.Add(Read(1000, At(10), 10, 5, 9, 4, 9));
    for (uint64_t serial = 1; serial <= CompositionFrames::UNANSWERED_IN_A_ROW; ++serial) {
        EXPECT_FALSE(frozen.Failed());
        const int64_t refresh = 10 * static_cast<int64_t>(serial + 1);
        frozen.Presented(serial, At(refresh, 5 * MS));
        EXPECT_TRUE(frozen.Add(Read(1000, At(refresh + 2), refresh + 2, 5, 9, 4, 9)).empty());
        EXPECT_EQ(frozen.Add(Read(1000, At(refresh + 8), refresh + 8, 5, 9, 4, 9)).size(), 1u);
    }
    EXPECT_TRUE(frozen.Failed());
    // Counters that go back (a restart): the frame on its way settled at once, later ones never held.
    CompositionFrames frames = PresentedAtTen();
    std::vector<ShownFrame> shown = frames.Add(Read(0, At(11, 2 * MS), 11, 6, 11, 5, 10));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].stamped);
    EXPECT_TRUE(frames.Failed());
    frames.Presented(2, At(12));
    EXPECT_EQ(frames.Add(Read(1000, At(13), 13, 8, 13, 7, 13)).size(), 1u);
}

TEST(CompositionFrames, OnlyACompositorThatCountsAnswers) {
    const std::vector<CompositionSample> counting = {
        Read(1000, At(1, 3 * MS), 1, 1, 1, 0, 0),
        Read(1000, At(3, 3 * MS), 3, 2, 3, 1, 2),
        Read(1000, At(5, 3 * MS), 5, 3, 5, 2, 4),
    };
    EXPECT_TRUE(CompositionFrames::Answers(counting));
    // Wine's: the period and a refresh time made up from the clock, every counter and other time 0.
    std::vector<CompositionSample> wine;
    for (int64_t reading = 0; reading < 4; ++reading) {
        const int64_t taken = At(reading * 2, 3 * MS);
        wine.push_back(CompositionSample{taken, PERIOD - 1, 0, taken / (PERIOD - 1) * (PERIOD - 1), 0, 0, 0, 0, 0});
    }
    EXPECT_FALSE(CompositionFrames::Answers(wine));
    // Refresh times that disagree with the period reported.
    std::vector<CompositionSample> halfPeriod = counting;
    for (CompositionSample& sample : halfPeriod) sample.periodNanos = PERIOD / 2;
    EXPECT_FALSE(CompositionFrames::Answers(halfPeriod));
}

}  // namespace
}  // namespace pelorin::sdl
