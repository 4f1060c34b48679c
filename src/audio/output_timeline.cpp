#include "audio/output_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pelorin::sdl {

OutputTimeline::OutputTimeline(int rate) : rate(rate), nanosPerFrame(1e9 / rate) {}

bool OutputTimeline::Known() const {
    return std::any_of(history.begin(), history.end(), [](const TimingSnapshot& s) { return s.playing; });
}

void OutputTimeline::Add(const TimingSnapshot& snapshot) {
    // A snapshot of fewer frames than the last is from a stream that was flushed or rewound: the
    // history before it no longer describes the stream.
    if (!history.empty() && snapshot.framesTaken < history.back().framesTaken) history.clear();
    history.push_back(snapshot);
    if (history.size() > HISTORY) history.pop_front();
    MeasurePace();
}

void OutputTimeline::MeasurePace() {
    // The pace over the newest stretch of playing without running dry: between the earliest-stamped
    // snapshots of its first and of its last half second, whose stamps come least late.
    const TimingSnapshot& newest = history.back();
    if (!newest.playing) return;
    const uint64_t stretchStart = newest.framesTaken - std::min(newest.framesTaken, newest.framesSinceUnderrun);
    // Counted at the pace measured so far, so that within a window the pace does not pick the earliest.
    const double pace = nanosPerFrame;
    const auto offset = [pace](const TimingSnapshot& s) {
        return static_cast<double>(Due(s)) - static_cast<double>(s.framesTaken) * pace;
    };
    const TimingSnapshot* oldest = nullptr;
    for (const TimingSnapshot& s : history) {
        if (s.playing && s.framesTaken >= stretchStart) {
            oldest = &s;
            break;
        }
    }
    if (oldest == nullptr) return;
    const double span = static_cast<double>(newest.framesTaken - oldest->framesTaken);
    if (span < MIN_PACE_SECONDS * rate) return;
    const double window = rate / 2.0;
    double early = INFINITY, late = INFINITY, earlyFrame = 0, lateFrame = 0;
    for (const TimingSnapshot& s : history) {
        if (!s.playing || s.framesTaken < oldest->framesTaken) continue;
        const double frame = static_cast<double>(s.framesTaken);
        if (frame - static_cast<double>(oldest->framesTaken) <= window && offset(s) < early) {
            early = offset(s);
            earlyFrame = frame;
        }
        if (static_cast<double>(newest.framesTaken) - frame <= window && offset(s) < late) {
            late = offset(s);
            lateFrame = frame;
        }
    }
    if (lateFrame - earlyFrame < MIN_PACE_SECONDS * rate / 2) return;
    const double nominal = 1e9 / rate;
    nanosPerFrame = std::clamp(pace + (late - early) / (lateFrame - earlyFrame), nominal * 0.99, nominal * 1.01);
}

OutputTimeline::Bounds OutputTimeline::Pin(uint64_t frame, uint64_t stretchStart, double reachFrames) const {
    Bounds bounds;
    for (const TimingSnapshot& s : history) {
        if (!s.playing || s.framesTaken < stretchStart) continue;
        // A snapshot whose stretch began after the frame was taken: the stream ran dry since.
        if (s.framesTaken > frame && s.framesTaken - s.framesSinceUnderrun > stretchStart) break;
        const double frames = static_cast<double>(static_cast<int64_t>(frame - s.framesTaken));
        if (std::abs(frames) > reachFrames) continue;
        const int64_t counted = std::llround(frames * nanosPerFrame);
        bounds.earliest = std::max<int64_t>(bounds.earliest, DueEarliest(s) + counted);
        bounds.latest = std::min<int64_t>(bounds.latest, Due(s) + counted);
    }
    return bounds;
}

std::optional<int64_t> OutputTimeline::PlannedNanos(uint64_t frame) const {
    // From the stretch of playing the frame falls in by the snapshots taken before it (the newest,
    // for a frame still to come), as far as the snapshots of its last second before the frame pin it.
    const TimingSnapshot* before = nullptr;
    for (const TimingSnapshot& s : history) {
        if (!s.playing) continue;
        if (before != nullptr && s.framesTaken > frame) break;
        before = &s;
    }
    if (before == nullptr) return std::nullopt;
    const uint64_t stretchStart = before->framesTaken - std::min(before->framesTaken, before->framesSinceUnderrun);
    const double ahead = static_cast<double>(static_cast<int64_t>(frame - before->framesTaken));
    const Bounds bounds = Pin(frame, stretchStart, std::abs(ahead) + PLAN_SECONDS * rate);
    if (bounds.latest == INT64_MAX) return std::nullopt;
    return std::max(bounds.latest, bounds.earliest);
}

std::optional<uint64_t> OutputTimeline::FrameAt(int64_t nanos) const {
    if (history.empty()) return std::nullopt;
    const uint64_t newest = history.back().framesTaken;
    const std::optional<int64_t> due = PlannedNanos(newest);
    if (!due) return std::nullopt;
    // Rounded up: the frame due at or after the time.
    const double frames = std::ceil(static_cast<double>(nanos - *due) / nanosPerFrame - 1e-6);
    const double frame = static_cast<double>(newest) + frames;
    return frame > 0 ? static_cast<uint64_t>(frame) : 0;
}

std::optional<PlayedTime> OutputTimeline::PlayedAt(uint64_t frame) const {
    // The first snapshot taken after the frame through which the stream kept playing tells when the
    // frame played; so does every other snapshot of the same stretch of playing within reach. Each
    // says it played no earlier than one time and no later than another: the latest of the one and
    // the earliest of the other pin it down.
    const auto after = std::find_if(history.begin(), history.end(), [frame](const TimingSnapshot& s) {
        return s.framesTaken > frame && s.playing;
    });
    const double reach = MAX_BACK_SECONDS * rate;
    const std::optional<int64_t> planned = PlannedNanos(frame);
    if (after != history.end() && after->framesTaken - frame <= after->framesSinceUnderrun &&
        static_cast<double>(after->framesTaken - frame) <= reach) {
        const Bounds bounds = Pin(frame, after->framesTaken - after->framesSinceUnderrun, reach);
        // Bounds that cross by more than that contradict each other: the timing is not to be trusted.
        const int64_t width = bounds.latest - bounds.earliest;
        if (std::abs(width) <= MAX_UNCERTAINTY_NANOS) return PlayedTime{bounds.latest, true};
        // Pinned down too loosely: the plan where it lies between the bounds.
        if (width > 0) {
            return PlayedTime{std::clamp(planned.value_or(bounds.latest), bounds.earliest, bounds.latest), false};
        }
    }
    if (!planned) return std::nullopt;
    return PlayedTime{*planned, false};
}

}  // namespace pelorin::sdl
