#include "audio/audio_clock.h"

#include <algorithm>
#include <cmath>

namespace pelorin::sdl {

namespace {

constexpr int64_t NANOS_PER_SECOND = 1'000'000'000;

}  // namespace

AudioClock::AudioClock(int rate, int bufferFrames)
    : rate(rate), bufferFrames(bufferFrames), nanosPerFrame(1e9 / rate) {}

int64_t AudioClock::FramesToNanos(uint64_t frames) const {
    const auto perSecond = static_cast<uint64_t>(rate);
    return static_cast<int64_t>(frames / perSecond) * NANOS_PER_SECOND +
           static_cast<int64_t>(frames % perSecond) * NANOS_PER_SECOND / rate;
}

bool AudioClock::Earlier(const Point& a, const Point& b) const {
    const double frames = static_cast<double>(static_cast<int64_t>(a.frame - b.frame));
    return static_cast<double>(a.nanos - b.nanos) < frames * nanosPerFrame;
}

double AudioClock::Lateness(const Point& asked) const {
    const Line pace = Pace();
    const double frames = static_cast<double>(static_cast<int64_t>(asked.frame - pace.origin.frame));
    return static_cast<double>(asked.nanos - pace.origin.nanos) - frames * pace.nanosPerFrame;
}

void AudioClock::Restart() {
    stretchCount = 0;
    nextStretch = 0;
    inCurrent = 0;
}

void AudioClock::Asked(uint64_t firstFrame, int64_t nanos) {
    const Point asked{firstFrame, nanos};
    if (Known() && Lateness(asked) > static_cast<double>(FramesToNanos(static_cast<uint64_t>(bufferFrames)))) Restart();
    if (inCurrent == 0 || Earlier(asked, current)) current = asked;
    ++askings;
    if (++inCurrent < STRETCH) return;
    inCurrent = 0;
    if (stretchCount >= MIN_STRETCHES_FOR_SLOPE && Lateness(current) > STEP_NANOS) Restart();
    stretches[nextStretch] = current;
    nextStretch = (nextStretch + 1) % STRETCHES;
    stretchCount = std::min(stretchCount + 1, STRETCHES);
    nanosPerFrame = Pace().nanosPerFrame;
}

AudioClock::Line AudioClock::Pace() const {
    const double nominal = 1e9 / rate;
    if (stretchCount < MIN_STRETCHES_FOR_SLOPE) {
        // Too few stretches to draw a line through: the earliest asking, at the pace found before.
        Point earliest = current;
        bool any = inCurrent > 0;
        for (size_t i = 0; i < stretchCount; ++i) {
            if (!any || Earlier(stretches[i], earliest)) earliest = stretches[i];
            any = true;
        }
        return {earliest, nanosPerFrame};
    }
    // A least-squares line through the stretches' earliest askings, counted from the newest.
    const Point newest = stretches[(nextStretch + STRETCHES - 1) % STRETCHES];
    double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
    for (size_t i = 0; i < stretchCount; ++i) {
        const double x = static_cast<double>(static_cast<int64_t>(stretches[i].frame - newest.frame));
        const double y = static_cast<double>(stretches[i].nanos - newest.nanos);
        sumX += x;
        sumY += y;
        sumXX += x * x;
        sumXY += x * y;
    }
    const double n = static_cast<double>(stretchCount);
    const double spread = n * sumXX - sumX * sumX;
    double slope = spread > 0 ? (n * sumXY - sumX * sumY) / spread : nominal;
    // Sound cards keep their rate to a fraction of a percent, SDL's dummy driver to 5%: a slope
    // further off comes from a burst of askings, not from the device's pace.
    slope = std::clamp(slope, nominal * 0.9, nominal * 1.1);
    const double atNewest = (sumY - slope * sumX) / n;
    return {{newest.frame, newest.nanos + static_cast<int64_t>(std::llround(atNewest))}, slope};
}

int64_t AudioClock::OutputNanos(uint64_t frame) const {
    const Line pace = Pace();
    const uint64_t due = frame + static_cast<uint64_t>(bufferFrames);
    const double frames = static_cast<double>(static_cast<int64_t>(due - pace.origin.frame));
    return pace.origin.nanos + std::llround(frames * pace.nanosPerFrame);
}

uint64_t AudioClock::FrameAt(int64_t nanos) const {
    const Line pace = Pace();
    // Rounded up: the frame due at or after the time.
    const double fromOrigin = std::ceil(static_cast<double>(nanos - pace.origin.nanos) / pace.nanosPerFrame - 1e-6);
    const double frame = fromOrigin + static_cast<double>(pace.origin.frame) - bufferFrames;
    return frame > 0 ? static_cast<uint64_t>(frame) : 0;
}

int64_t AudioClock::FixedLatencyNanos() const {
    return FramesToNanos(2 * static_cast<uint64_t>(bufferFrames)) + MARGIN_NANOS;
}

}  // namespace pelorin::sdl
