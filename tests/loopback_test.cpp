#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "measure/loopback.h"
#include "measure/stats.h"

namespace pelorin::test {
namespace {

constexpr int RATE = 44100;

// Blocks of 88 frames from an input whose clock runs `fast` (0.0018: 0.18 %) ahead of the machine's,
// each handed over between 0.2 and 3 ms after its last frame came in; frame 0 came in at 1 s.
std::vector<std::pair<double, double>> Arrivals(double fast, double seconds, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> late(200, 3000);
    std::vector<std::pair<double, double>> arrivals;
    for (double frames = 88; frames < seconds * RATE; frames += 88) {
        double cameIn = 1e6 + frames * 1e6 / RATE / (1 + fast);
        arrivals.emplace_back(frames, cameIn + late(random));
    }
    return arrivals;
}

// A recording is read at the pace it arrived: an input 0.18 % fast (a null sink with a low-latency
// stream) is not taken for late or early sounds, and its frames land within a few microseconds of
// when they came in, less the least delay of the hand-over.
TEST(LoopbackTest, RecordedFramesAreTimedAtThePaceTheyArrived) {
    measure::ArrivalClock clock(RATE, Arrivals(0.0018, 20, 1));
    EXPECT_NEAR(clock.PacePpm(), -1e6 * 0.0018 / 1.0018, 20);
    for (double second : {1.0, 7.5, 18.0}) {
        double frame = second * RATE;
        double cameIn = 1e6 + frame * 1e6 / RATE / 1.0018;
        // Nominal frames would put the 18th second 32 ms late.
        EXPECT_NEAR(clock.FrameMicros(frame), cameIn + 200, 50) << second;
    }
    // An input on the machine's own clock.
    EXPECT_NEAR(measure::ArrivalClock(RATE, Arrivals(0, 20, 2)).PacePpm(), 0, 20);
}

TEST(LoopbackTest, SoundsAreFoundAfterSilenceOnly) {
    std::vector<int16_t> recording(RATE, 0);
    for (size_t start : {1000u, 5000u, 5500u, 20000u}) {
        for (size_t i = start; i < start + 300; ++i) recording[i] = static_cast<int16_t>(i % 2 ? 3000 : -3000);
    }
    recording[30000] = 40;  // noise under the level
    // The rise at 5500 follows 200 quiet frames only: it belongs to the sound before.
    EXPECT_EQ(measure::FindRises(recording, 64, 882), (std::vector<size_t>{1000, 5000, 20000}));
    EXPECT_EQ(measure::FirstAbove(recording, 64), 1000u);
    EXPECT_EQ(measure::FirstAbove(recording, 5000), recording.size());
}

// Recorded sounds are lined up with the written onsets by the cable's delay, however long, and each
// sound's own difference kept; a spurious rise is passed over and a sound not recorded is missing.
TEST(LoopbackTest, RecordedOnsetsLineUpWithWrittenOnesByTheDelay) {
    std::vector<double> written;
    std::vector<double> rises;
    std::mt19937 random(4);
    std::uniform_real_distribution<double> gap(450'000, 700'000);
    std::normal_distribution<double> jitter(0, 80);
    double at = 2e6;
    for (int i = 0; i < 20; ++i) {
        written.push_back(at);
        if (i != 7) rises.push_back(at + 48'700 + jitter(random));
        at += gap(random);
    }
    rises.push_back(written[3] + 200'000);
    // One recorded 30 ms off its place, as a loosely planned output puts one.
    rises[12] += 30'000;
    std::sort(rises.begin(), rises.end());
    measure::LinedUp lined = measure::LineUp(written, rises, 500'000);
    ASSERT_EQ(lined.differences.size(), 19u);
    EXPECT_EQ(std::find(lined.found.begin(), lined.found.end(), 7u), lined.found.end());
    // The one off its place is found, and in the spread: a timing fault, not a missing tone.
    auto off = std::find(lined.found.begin(), lined.found.end(), 13u);
    ASSERT_NE(off, lined.found.end());
    EXPECT_NEAR(lined.differences[static_cast<size_t>(off - lined.found.begin())], 78.7, 0.5);
    std::vector<double> onPlace;
    for (size_t i = 0; i < lined.found.size(); ++i) {
        if (lined.found[i] != 13u) onPlace.push_back(lined.differences[i]);
    }
    measure::Stats stats = measure::Summarise(onPlace);
    EXPECT_NEAR(stats.mean, 48.7, 0.05);
    EXPECT_NEAR(stats.sd, 0.08, 0.04);
    // A delay beyond what is looked for finds nothing.
    EXPECT_TRUE(measure::LineUp(written, rises, 40'000).differences.empty());
    EXPECT_TRUE(measure::LineUp(written, {}, 500'000).differences.empty());
}

}  // namespace
}  // namespace pelorin::test
