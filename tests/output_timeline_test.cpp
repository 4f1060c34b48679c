#include "audio/output_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace pelorin::sdl {
namespace {

constexpr int RATE = 44100;
constexpr int64_t MS = 1'000'000;

// A sound server playing a stream to an output whose clock runs `speed` times as fast as the machine's:
// it takes frames in blocks of 256 once they are due within its own latency, and answers an asking
// for timing after a delay. From `dryAt` on the stream runs dry for `dryNanos`: every frame from
// then on plays that much later.
struct Server {
    double speed = 1.0;
    int64_t start = 1'000 * MS;
    int64_t sinkLatency = 10 * MS;
    uint64_t dryFrame = UINT64_MAX;
    int64_t dryNanos = 0;

    // When the frame truly reaches the output.
    int64_t Plays(uint64_t frame) const {
        const int64_t counted = std::llround(static_cast<double>(frame) * 1e9 / RATE / speed);
        return start + counted + (frame >= dryFrame ? dryNanos : 0);
    }
    // Frames taken by `now`: every whole block due at the output within the sink's latency.
    uint64_t Taken(int64_t now) const {
        uint64_t frames = 0;
        while (Plays(frames + 256) <= now + sinkLatency) frames += 256;
        return frames;
    }
    // The server's answer to an asking sent at `asked` that it handles `handling` later and stamps
    // `stamping` after that.
    TimingSnapshot Answer(int64_t asked, int64_t handling, int64_t stamping) const {
        const int64_t now = asked + handling;
        TimingSnapshot s;
        s.askedNanos = asked;
        s.nanos = now + stamping;
        s.framesTaken = Taken(now);
        s.latencyNanos = Plays(s.framesTaken) - now;
        const bool dry = s.framesTaken == dryFrame && now < Plays(dryFrame) - sinkLatency;
        s.playing = s.framesTaken > 0 && !dry;
        s.framesSinceUnderrun = s.framesTaken >= dryFrame && !dry ? s.framesTaken - dryFrame : s.framesTaken;
        return s;
    }
};

// Snapshots every `every` from `from` to `to`, answered within 0.1 ms, as a quiet server answers.
void Feed(OutputTimeline& timeline, const Server& server, int64_t from, int64_t to, int64_t every) {
    for (int64_t t = from; t <= to; t += every) timeline.Add(server.Answer(t, 60'000, 20'000));
}

TEST(OutputTimeline, ReadsBackAnOnsetOnlyOnceTheFrameIsTakenAndOnlyAsTightlyAsTheAnswersAllow) {
    Server server;
    OutputTimeline timeline(RATE);
    EXPECT_FALSE(timeline.Known());
    EXPECT_FALSE(timeline.FrameAt(server.start));
    // The stream is connected but the server has taken nothing yet.
    timeline.Add(server.Answer(server.start - 20 * MS, 50'000, 10'000));
    EXPECT_FALSE(timeline.Known());

    Feed(timeline, server, server.start, server.start + 2'000 * MS, 200 * MS);
    ASSERT_TRUE(timeline.Known());
    // A frame placed half a second on: planned where it plays.
    const uint64_t frame = *timeline.FrameAt(server.start + 2'500 * MS);
    EXPECT_NEAR(static_cast<double>(*timeline.PlannedNanos(frame)), static_cast<double>(server.Plays(frame)), 30'000);
    EXPECT_FALSE(timeline.Taken(frame));
    EXPECT_FALSE(timeline.PlayedAt(frame)->exact);

    // Once taken, a server kept 3 ms from stamping its answer pins the onset down no closer than
    // that: not exact. A prompt answer then pins it to well under 0.5 ms.
    const int64_t due = server.Plays(frame);
    timeline.Add(server.Answer(due, 100'000, 3 * MS));
    ASSERT_TRUE(timeline.Taken(frame));
    std::optional<PlayedTime> loose = timeline.PlayedAt(frame);
    EXPECT_FALSE(loose->exact);
    EXPECT_LE(std::abs(loose->nanos - due), 3 * MS);
    timeline.Add(server.Answer(due + 2 * MS, 40'000, 30'000));
    const PlayedTime played = *timeline.PlayedAt(frame);
    EXPECT_TRUE(played.exact);
    EXPECT_NEAR(static_cast<double>(played.nanos), static_cast<double>(due), 100'000);

    // Answers that contradict each other (one says the frame played 5 ms before another allows)
    // pin nothing down, however tightly each is bounded.
    TimingSnapshot wrong = server.Answer(due + 3 * MS, 40'000, 30'000);
    wrong.latencyNanos -= 5 * MS;
    wrong.askedNanos -= 5 * MS;
    timeline.Add(wrong);
    EXPECT_FALSE(timeline.PlayedAt(frame)->exact);
}

TEST(OutputTimeline, AStreamThatRanDryPlaysLaterAndSaysSo) {
    Server server;
    server.dryFrame = 5 * RATE / 2 / 256 * 256;  // about 2.5 s in
    server.dryNanos = 7 * MS;
    OutputTimeline timeline(RATE);
    Feed(timeline, server, server.start, server.start + 2'400 * MS, 100 * MS);
    // Placed before the server ran dry, by the pace it kept until then.
    const uint64_t frame = server.dryFrame + 1000;
    const int64_t plannedThen = *timeline.PlannedNanos(frame);
    EXPECT_NEAR(static_cast<double>(plannedThen), static_cast<double>(server.Plays(frame) - server.dryNanos), 30'000);

    // While dry: the frame is not taken, and the snapshot says the stream is not playing.
    const int64_t dryStart = server.Plays(server.dryFrame) - server.dryNanos;
    timeline.Add(server.Answer(dryStart - server.sinkLatency + 2 * MS, 50'000, 20'000));
    EXPECT_FALSE(timeline.Taken(frame));
    // Read back after: 7 ms later than planned, exact.
    Feed(timeline, server, server.Plays(frame), server.Plays(frame) + 20 * MS, 5 * MS);
    const PlayedTime played = *timeline.PlayedAt(frame);
    EXPECT_TRUE(played.exact);
    EXPECT_NEAR(static_cast<double>(played.nanos), static_cast<double>(server.Plays(frame)), 100'000);

    // A frame taken before the stream ran dry, with no snapshot of its own before the dry spell, is
    // not read back through it: counting back across the dry spell would put it 7 ms late.
    OutputTimeline sparse(RATE);
    Feed(sparse, server, server.start, server.start + 2'000 * MS, 200 * MS);
    const uint64_t before = server.dryFrame - 300;
    sparse.Add(server.Answer(server.Plays(server.dryFrame) + 5 * MS, 50'000, 20'000));
    const PlayedTime across = *sparse.PlayedAt(before);
    EXPECT_FALSE(across.exact);
    EXPECT_NEAR(static_cast<double>(across.nanos), static_cast<double>(server.Plays(before)), 100'000);
}

TEST(OutputTimeline, FollowsAnOutputWhoseClockRunsApartFromTheMachines) {
    for (const double speed : {0.995, 1.004}) {
        SCOPED_TRACE("speed " + std::to_string(speed));
        Server server;
        server.speed = speed;
        OutputTimeline timeline(RATE);
        // Answers late by up to 2 ms at random: the pace is measured from the least late.
        std::mt19937 random(5);
        std::uniform_int_distribution<int64_t> late(0, 2 * MS);
        for (int64_t t = server.start; t < server.start + 3'000 * MS; t += 20 * MS) {
            timeline.Add(server.Answer(t, 50'000, late(random)));
        }
        EXPECT_NEAR(timeline.NanosPerFrame(), 1e9 / RATE / speed, 1e9 / RATE * 2e-5);
        // Planned a second ahead, and read back, each to well under 0.5 ms.
        const uint64_t frame = *timeline.FrameAt(server.start + 4'000 * MS);
        EXPECT_NEAR(static_cast<double>(*timeline.PlannedNanos(frame)), static_cast<double>(server.Plays(frame)), 300'000);
        Feed(timeline, server, server.start + 3'000 * MS, server.Plays(frame) + 10 * MS, 5 * MS);
        const PlayedTime played = *timeline.PlayedAt(frame);
        EXPECT_TRUE(played.exact);
        EXPECT_NEAR(static_cast<double>(played.nanos), static_cast<double>(server.Plays(frame)), 100'000);
    }
}

TEST(OutputTimeline, HoldsAPaceFarFromTheNominalRateToWithinOnePercentOfIt) {
    // An output reporting 4 % fast or 4 % slow says more of its timing than of its clock: every onset
    // counted at that pace would move with it.
    const double nominal = 1e9 / RATE;
    for (const auto& [speed, held] : {std::pair{0.96, nominal * 1.01}, std::pair{1.04, nominal * 0.99}}) {
        SCOPED_TRACE("speed " + std::to_string(speed));
        Server server;
        server.speed = speed;
        OutputTimeline timeline(RATE);
        Feed(timeline, server, server.start, server.start + 3'000 * MS, 20 * MS);
        EXPECT_NEAR(timeline.NanosPerFrame(), held, nominal * 1e-6);
    }
}

}  // namespace
}  // namespace pelorin::sdl
