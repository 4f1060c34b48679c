#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelorin::sdl {

// Maps frames of the audio device's stream to times on the monotonic clock, from the times the device
// asked for them. A buffer handed over when the device asks is played once the buffer before it has
// gone out, so frame n is due at the output one buffer after the device would have asked for it,
// had it asked exactly on time. Asking is late by however long the callback thread was kept waiting,
// never early, so the device's true pace is the line under its earliest askings: the earliest of each
// stretch of askings are kept, and the line through them follows a device whose clock runs apart
// from the machine's (a sound card's crystal, a sound server on another clock).
class AudioClock {
public:
    AudioClock(int rate, int bufferFrames);

    // The device asked for the buffer that starts at firstFrame, at `nanos`.
    void Asked(uint64_t firstFrame, int64_t nanos);
    // Whether the device has asked often enough to tell its pace.
    bool Known() const { return askings >= MIN_ASKINGS; }

    // When the frame is due at the output.
    int64_t OutputNanos(uint64_t frame) const;
    // The first frame due at the output at or after `nanos`.
    uint64_t FrameAt(int64_t nanos) const;

    // From a call to the first frame of a sound started by it: the buffer being filled may be handed
    // over at once and played after the one playing now, so two buffers, and a margin for the pace's
    // estimate.
    int64_t FixedLatencyNanos() const;

    // Frames to nanoseconds at the nominal rate, exact to the nanosecond for any stream length.
    int64_t FramesToNanos(uint64_t frames) const;

    static constexpr size_t MIN_ASKINGS = 4;
    // Askings per stretch: about 0.74 s of 512-frame buffers.
    static constexpr size_t STRETCH = 64;
    // Stretches the line is drawn through: about 6 s, and at least three.
    static constexpr size_t STRETCHES = 8;
    static constexpr size_t MIN_STRETCHES_FOR_SLOPE = 3;
    // A stretch whose earliest asking came this much later than the line says has moved on: the
    // sound server ran out of samples and played silence, and everything after plays that much later.
    // An asking more than a buffer late shows the same at once.
    static constexpr double STEP_NANOS = 300'000;
    static constexpr int64_t MARGIN_NANOS = 1'000'000;

private:
    // The earliest asking of a stretch, the frame asked for and when.
    struct Point {
        uint64_t frame = 0;
        int64_t nanos = 0;
    };

    // The line under the askings: when `origin.frame` was (or will be) asked for on time, and
    // nanoseconds per frame.
    struct Line {
        Point origin;
        double nanosPerFrame = 0;
    };
    Line Pace() const;
    // Whether `a` lies earlier than `b` on the pace the device has kept lately.
    bool Earlier(const Point& a, const Point& b) const;
    // How much later than the line the asking came.
    double Lateness(const Point& asked) const;
    // Forgets the pace's history: the stream now plays later than it said.
    void Restart();

    int rate;
    int bufferFrames;
    std::array<Point, STRETCHES> stretches{};
    size_t stretchCount = 0;
    size_t nextStretch = 0;
    Point current{};
    size_t inCurrent = 0;
    size_t askings = 0;
    // The line's slope when the last stretch ended.
    double nanosPerFrame;
};

}  // namespace pelorin::sdl
