#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace pelorin::sdl {

// What a sound system said of a playback stream at one moment: how many frames of the stream it had
// taken, and how long from then until the first frame it had not yet taken reaches the output.
struct TimingSnapshot {
    // When it was current, on the monotonic clock: no earlier than it was asked for, and no later
    // than the time the system stamped it with, which comes late when the system is kept from
    // answering at once.
    int64_t askedNanos = 0;
    int64_t nanos = 0;
    uint64_t framesTaken = 0;        // frames the system has taken from the stream
    int64_t latencyNanos = 0;        // from `nanos` until frame `framesTaken` is at the output
    uint64_t framesSinceUnderrun = 0;  // frames taken since the stream last ran dry, or since it started
    bool playing = false;            // false while the stream is dry, waiting for data
};

// When a frame reached the output, as read back once it has been played.
struct PlayedTime {
    int64_t nanos = 0;
    // Read back from timing taken after the frame was played, with no running dry in between, and
    // known to MAX_UNCERTAINTY_NANOS; false when it is a plan, or timing that says too little.
    bool exact = false;
};

// The frames of a playback stream set against the monotonic clock, from the timing snapshots its
// sound system gives. A snapshot taken after a frame was taken tells exactly when that frame reached
// the output, as long as the stream did not run dry in between: running dry holds the stream back,
// so everything after plays later. Frames are counted at the pace the output has kept between
// snapshots, which follows an output whose clock runs apart from the machine's.
class OutputTimeline {
public:
    explicit OutputTimeline(int rate);

    void Add(const TimingSnapshot& snapshot);
    // Whether a snapshot of a playing stream has come.
    bool Known() const;

    // Whether the system has taken the frame from the stream, by the newest snapshot.
    bool Taken(uint64_t frame) const { return !history.empty() && history.back().framesTaken > frame; }
    // When the frame is due at the output, from the newest snapshot of a playing stream.
    std::optional<int64_t> PlannedNanos(uint64_t frame) const;
    // The first frame due at the output at or after `nanos`.
    std::optional<uint64_t> FrameAt(int64_t nanos) const;
    // When the frame reached the output: read back where a snapshot allows it, else planned.
    std::optional<PlayedTime> PlayedAt(uint64_t frame) const;

    // Nanoseconds per frame of the output, as kept between snapshots.
    double NanosPerFrame() const { return nanosPerFrame; }

    // Snapshots kept: at one every few milliseconds while a sound plays, some seconds' worth.
    static constexpr size_t HISTORY = 256;
    // A read-back counts frames from a snapshot at the measured pace; this far at most, so that a
    // pace measured wrong by 0.1% costs at most 0.1 ms.
    static constexpr double MAX_BACK_SECONDS = 0.1;
    // A read-back is exact when the snapshots pin the frame's time down to this.
    static constexpr int64_t MAX_UNCERTAINTY_NANOS = 500'000;
    // A plan counts frames from the snapshots of the last this long.
    static constexpr double PLAN_SECONDS = 1.0;
    // The pace is measured over at least this long, and kept within 1% of the nominal rate.
    static constexpr double MIN_PACE_SECONDS = 1.0;

private:
    // When frame `framesTaken` of the snapshot reaches the output.
    static int64_t Due(const TimingSnapshot& s) { return s.nanos + s.latencyNanos; }
    static int64_t DueEarliest(const TimingSnapshot& s) { return s.askedNanos + s.latencyNanos; }
    void MeasurePace();
    // No earlier and no later than when the frame plays, by the snapshots taken since `stretchStart`
    // (the stream did not run dry since) and within `reachFrames` of the frame.
    struct Bounds {
        int64_t earliest = INT64_MIN;
        int64_t latest = INT64_MAX;
    };
    Bounds Pin(uint64_t frame, uint64_t stretchStart, double reachFrames) const;

    int rate;
    double nanosPerFrame;
    std::deque<TimingSnapshot> history;
};

}  // namespace pelorin::sdl
