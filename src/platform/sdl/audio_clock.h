#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelorin::sdl {

// Maps frames of the audio device's stream to times on the monotonic clock, from the times the device
// asked for them. A buffer handed over when the device asks is played once the buffer before it has
// gone out, so frame n is due at the output one buffer after the device asked for it, had it asked
// exactly on time. Asking is late by however long the callback thread was kept waiting, never early,
// so the earliest (lowest) of the recent askings is the device's true pace; keeping only recent ones
// follows a device whose clock drifts from the machine's.
class AudioClock {
public:
    AudioClock(int rate, int bufferFrames);

    // The device asked for the buffer that starts at firstFrame, at `nanos`.
    void Asked(uint64_t firstFrame, int64_t nanos);
    // Whether the device has asked often enough to tell its pace.
    bool Known() const { return count >= MIN_ASKINGS; }

    // When the frame is due at the output.
    int64_t OutputNanos(uint64_t frame) const;
    // The first frame due at the output at or after `nanos`.
    uint64_t FrameAt(int64_t nanos) const;

    // From a call to the first frame of a sound started by it: the buffer being filled may be handed
    // over at once and played after the one playing now, so two buffers, and a margin for the pace's
    // estimate.
    int64_t FixedLatencyNanos() const;

    // Frames to nanoseconds and back, exact to the nanosecond for any stream length.
    int64_t FramesToNanos(uint64_t frames) const;

    static constexpr size_t MIN_ASKINGS = 4;
    // About three seconds of 512-frame buffers.
    static constexpr size_t WINDOW = 256;
    static constexpr int64_t MARGIN_NANOS = 1'000'000;

private:
    // Where the stream's frame 0 would be due, had the device asked exactly on time.
    int64_t Origin() const;

    int rate;
    int bufferFrames;
    // The recent askings as (time - their frame's time in the stream), the newest at next - 1.
    std::array<int64_t, WINDOW> offsets{};
    size_t next = 0;
    size_t count = 0;
};

}  // namespace pelorin::sdl
