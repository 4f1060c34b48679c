#include "platform/sdl/audio_clock.h"

#include <algorithm>

namespace pelorin::sdl {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;

}  // namespace

AudioClock::AudioClock(int rate, int bufferFrames) : rate(rate), bufferFrames(bufferFrames) {}

int64_t AudioClock::FramesToNanos(uint64_t frames) const {
    const auto perSecond = static_cast<uint64_t>(rate);
    return static_cast<int64_t>(frames / perSecond) * NANOS_PER_SECOND +
           static_cast<int64_t>(frames % perSecond) * NANOS_PER_SECOND / rate;
}

void AudioClock::Asked(uint64_t firstFrame, int64_t nanos) {
    offsets[next] = nanos - FramesToNanos(firstFrame);
    next = (next + 1) % WINDOW;
    count = std::min(count + 1, WINDOW);
}

int64_t AudioClock::Origin() const {
    if (count == 0) return 0;
    return *std::min_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(count));
}

int64_t AudioClock::OutputNanos(uint64_t frame) const {
    return Origin() + FramesToNanos(frame + static_cast<uint64_t>(bufferFrames));
}

uint64_t AudioClock::FrameAt(int64_t nanos) const {
    const int64_t sinceFrameZero = nanos - Origin();
    if (sinceFrameZero <= 0) return 0;
    const auto seconds = static_cast<uint64_t>(sinceFrameZero / NANOS_PER_SECOND);
    const int64_t rest = sinceFrameZero % NANOS_PER_SECOND;
    // Rounded up: the frame due at or after the time.
    const auto restFrames = static_cast<uint64_t>((rest * rate + NANOS_PER_SECOND - 1) / NANOS_PER_SECOND);
    const uint64_t frame = seconds * static_cast<uint64_t>(rate) + restFrames;
    const auto buffer = static_cast<uint64_t>(bufferFrames);
    return frame > buffer ? frame - buffer : 0;
}

int64_t AudioClock::FixedLatencyNanos() const {
    return FramesToNanos(2 * static_cast<uint64_t>(bufferFrames)) + MARGIN_NANOS;
}

}  // namespace pelorin::sdl
