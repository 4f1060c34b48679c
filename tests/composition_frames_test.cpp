// The refresh that showed each frame, from a compositor's readings: made-up readings as DWM gives
// them on a display at 60 Hz, on time, late, read too seldom, wrapping, and falling silent.
#include "hosts/sdl/composition_frames.h"

#include <gtest/gtest.h>

#include <limits>

namespace pelorin::sdl {
namespace {

constexpr int64_t PERIOD = 16'666'667;
constexpr int64_t MS = 1'000'000;
constexpr int64_t START = 10'000'000'000;

// When refresh `refresh` (counted from the run's first) began, plus `after`.
int64_t At(int64_t refresh, int64_t after = 0) { return START + refresh * PERIOD + after; }

// Readings of a compositor whose counters stood at `base` at the run's first refresh: each
// composition is made a millisecond after the refresh it is counted at.
struct Compositor {
    uint64_t base = 1000;

    CompositionSample Read(int64_t taken, int64_t refresh, int64_t composed, int64_t composedAt, int64_t displayed,
                           int64_t displayedAt) const {
        CompositionSample sample;
        sample.takenNanos = taken;
        sample.periodNanos = PERIOD;
        sample.refresh = base + static_cast<uint64_t>(refresh);
        sample.vblankNanos = At(refresh);
        sample.composed = base + static_cast<uint64_t>(composed);
        sample.composedNanos = At(composedAt, MS);
        sample.displayed = base + static_cast<uint64_t>(displayed);
        sample.displayedRefresh = base + static_cast<uint64_t>(displayedAt);
        sample.displayedNanos = At(displayedAt);
        return sample;
    }
};

bool Missed(const ShownFrame& shown) { return shown.targetMsc != 0 && shown.msc > shown.targetMsc; }

// A frame handed over 5 ms into refresh 10, read before: composition 5 was made at refresh 9 and
// composition 4 is on the display.
CompositionFrames PresentedAtTen(const Compositor& compositor) {
    CompositionFrames frames;
    EXPECT_TRUE(frames.Add(compositor.Read(At(10, 4 * MS), 10, 5, 9, 4, 9)).empty());
    frames.Presented(1, At(10, 5 * MS));
    return frames;
}

TEST(CompositionFrames, AFrameShowsAtTheRefreshItsCompositionReachedTheDisplay) {
    for (uint64_t base : {uint64_t{1000}, std::numeric_limits<uint64_t>::max() - 10}) {
        // Counters near their end wrap between the readings, and nothing changes.
        Compositor compositor{base};
        CompositionFrames frames = PresentedAtTen(compositor);
        EXPECT_TRUE(frames.Composing());
        // Composition 6, made at refresh 11 after the call, carries the frame; 5 shows meanwhile.
        // The next frame may go out now: it cannot go into composition 6.
        EXPECT_TRUE(frames.Add(compositor.Read(At(11, 2 * MS), 11, 6, 11, 5, 10)).empty());
        EXPECT_TRUE(frames.Pending());
        EXPECT_FALSE(frames.Composing());
        std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(12, 2 * MS), 12, 6, 11, 6, 12));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(shown[0].stamped);
        EXPECT_EQ(shown[0].serial, 1u);
        EXPECT_EQ(shown[0].msc, base + 12);
        EXPECT_EQ(shown[0].ustNanos, At(12));
        EXPECT_FALSE(Missed(shown[0]));
        EXPECT_FALSE(frames.Pending());
        EXPECT_EQ(frames.RefreshNanos(), PERIOD);
    }
}

TEST(CompositionFrames, AFrameShownARefreshLaterIsMissed) {
    Compositor compositor;
    CompositionFrames frames = PresentedAtTen(compositor);
    // The first reading after the call sees no composition since: the next one carries the frame.
    EXPECT_TRUE(frames.Add(compositor.Read(At(10, 6 * MS), 10, 5, 9, 4, 9)).empty());
    EXPECT_TRUE(frames.Composing());
    EXPECT_TRUE(frames.Add(compositor.Read(At(12, 2 * MS), 12, 6, 12, 5, 10)).empty());
    EXPECT_FALSE(frames.Composing());
    std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(13, 2 * MS), 13, 6, 12, 6, 13));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].stamped);
    EXPECT_EQ(shown[0].ustNanos, At(13));
    EXPECT_TRUE(Missed(shown[0]));
}

TEST(CompositionFrames, WhatTheReadingsCannotTellIsSettledWithoutAStamp) {
    Compositor compositor;
    {
        // Two compositions since the reading before the call: which came first after it is unknown.
        CompositionFrames frames = PresentedAtTen(compositor);
        std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(12, 2 * MS), 12, 7, 12, 6, 12));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].stamped);
    }
    {
        // The display went from before the frame's composition to past it between two readings.
        CompositionFrames frames = PresentedAtTen(compositor);
        EXPECT_TRUE(frames.Add(compositor.Read(At(11, 2 * MS), 11, 6, 11, 5, 10)).empty());
        std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(13, 2 * MS), 13, 7, 12, 7, 13));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].stamped);
    }
    {
        // A display that says it showed the frame's composition before the frame was handed over.
        CompositionFrames frames = PresentedAtTen(compositor);
        CompositionSample odd = compositor.Read(At(11, 2 * MS), 11, 6, 11, 6, 10);
        std::vector<ShownFrame> shown = frames.Add(odd);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].stamped);
    }
    // None of these stops the stamps: the next frame is stamped again.
    CompositionFrames frames = PresentedAtTen(compositor);
    frames.Add(compositor.Read(At(12, 2 * MS), 12, 7, 12, 6, 12));
    frames.Presented(2, At(12, 5 * MS));
    frames.Add(compositor.Read(At(13, 2 * MS), 13, 8, 13, 7, 13));
    std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(14, 2 * MS), 14, 8, 13, 8, 14));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].stamped);
    EXPECT_EQ(shown[0].serial, 2u);
    EXPECT_FALSE(frames.Failed());
}

TEST(CompositionFrames, ACompositorThatStopsAnsweringFailsAndNoFrameWaitsForIt) {
    Compositor compositor;
    {
        // Its counters stand still: each frame is settled without a stamp once it is well overdue,
        // and after a few in a row the compositor is taken to have stopped.
        CompositionFrames frames;
        frames.Add(compositor.Read(At(10, 4 * MS), 10, 5, 9, 4, 9));
        for (uint64_t serial = 1; serial <= CompositionFrames::UNANSWERED_IN_A_ROW; ++serial) {
            EXPECT_FALSE(frames.Failed());
            const int64_t refresh = 10 + static_cast<int64_t>(serial) * 10;
            frames.Presented(serial, At(refresh, 5 * MS));
            EXPECT_TRUE(frames.Add(compositor.Read(At(refresh + 2, 2 * MS), refresh + 2, 5, 9, 4, 9)).empty());
            std::vector<ShownFrame> shown = frames.Add(compositor.Read(At(refresh + 8, 2 * MS), refresh + 8, 5, 9, 4, 9));
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_FALSE(shown[0].stamped);
        }
        EXPECT_TRUE(frames.Failed());
        EXPECT_FALSE(frames.Pending());
    }
    {
        // Its counters go back (it restarted): the frame on its way is settled at once, unstamped.
        CompositionFrames frames = PresentedAtTen(compositor);
        CompositionSample restarted = compositor.Read(At(11, 2 * MS), 11, 6, 11, 5, 10);
        restarted.refresh = 3;
        restarted.composed = 2;
        restarted.displayed = 1;
        std::vector<ShownFrame> shown = frames.Add(restarted);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_FALSE(shown[0].stamped);
        EXPECT_TRUE(frames.Failed());
        // Frames presented after that are never held.
        frames.Presented(2, At(12));
        EXPECT_EQ(frames.Add(compositor.Read(At(13), 13, 8, 13, 7, 13)).size(), 1u);
    }
}

TEST(CompositionFrames, OnlyACompositorThatCountsAnswers) {
    Compositor compositor;
    const std::vector<CompositionSample> counting = {
        compositor.Read(At(1, 3 * MS), 1, 1, 1, 0, 0),
        compositor.Read(At(3, 3 * MS), 3, 2, 3, 1, 2),
        compositor.Read(At(5, 3 * MS), 5, 3, 5, 2, 4),
    };
    EXPECT_TRUE(CompositionFrames::Answers(counting));
    // Wine's: the period and a refresh time computed from the clock, every counter and time else 0.
    std::vector<CompositionSample> wine;
    for (int64_t reading = 0; reading < 4; ++reading) {
        CompositionSample sample;
        sample.takenNanos = At(reading * 2, 3 * MS);
        sample.periodNanos = PERIOD - 1;
        sample.vblankNanos = sample.takenNanos / sample.periodNanos * sample.periodNanos;
        wine.push_back(sample);
    }
    EXPECT_FALSE(CompositionFrames::Answers(wine));
    // Refreshes whose times disagree with the period reported; readings that go back.
    std::vector<CompositionSample> halfPeriod = counting;
    for (CompositionSample& sample : halfPeriod) sample.periodNanos = PERIOD / 2;
    EXPECT_FALSE(CompositionFrames::Answers(halfPeriod));
    EXPECT_FALSE(CompositionFrames::Answers({counting[0], counting[2], counting[1]}));
    // Compositions that never reach the display.
    std::vector<CompositionSample> neverShown = counting;
    for (CompositionSample& sample : neverShown) sample.displayed = 0;
    EXPECT_FALSE(CompositionFrames::Answers(neverShown));
}

}  // namespace
}  // namespace pelorin::sdl
