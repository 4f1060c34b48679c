#include "measure/loopback.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pelorin::measure {

namespace {

// How far above the line an earliest arrival may lie and still count for it.
constexpr double LINE_TOLERANCE_MICROS = 100;
// The line is drawn through the earliest arrivals this many seconds either side of a frame.
constexpr double WINDOW_SECONDS = 4;
// A rise this close to a sound's place at the chosen delay is that sound's: wider than an output's
// onsets stray (those of Wine's WASAPI, planned, by 20 ms at times), so that a tone recorded
// off its place counts in the spread rather than as missing (which blames the cable), and narrower
// than half the check's closest tones (150 ms of silence between them).
constexpr double MATCH_MICROS = 50'000;
constexpr double LINED_MICROS = 1'000;

}  // namespace

ArrivalClock::ArrivalClock(int rate, std::vector<std::pair<double, double>> arrivals) : rate(rate) {
    const double nominal = 1e6 / rate;
    const double stretch = rate / 2.0;
    // The input's pace first, from every arrival: within half a second an input 0.18 % fast gains
    // 0.9 ms, which would make the last arrivals of each half second look the earliest.
    double n = 0, sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
    for (const auto& [frames, micros] : arrivals) {
        double offset = micros - frames * nominal;
        n += 1;
        sumX += frames;
        sumY += offset;
        sumXX += frames * frames;
        sumXY += frames * offset;
    }
    double spread = n * sumXX - sumX * sumX;
    double pace = n > 1 && spread > 0 ? (n * sumXY - sumX * sumY) / spread : 0;
    double earliestLate = 0;
    for (const auto& [frames, micros] : arrivals) {
        double offset = micros - frames * nominal;
        double late = offset - pace * frames;
        if (earliest.empty() || frames >= earliest.back().first - std::fmod(earliest.back().first, stretch) + stretch) {
            earliest.emplace_back(frames, offset);
            earliestLate = late;
        } else if (late < earliestLate) {
            earliest.back() = {frames, offset};
            earliestLate = late;
        }
    }
}

// A least-squares line (offset, slope) through the earliest arrivals within `window` frames of
// `around`; then again without those that lie well above it, such as the first arrivals while the
// recording stream starts: the line runs along the earliest.
std::pair<double, double> ArrivalClock::Line(double around, double window) const {
    std::vector<std::pair<double, double>> near;
    for (const auto& point : earliest) {
        if (std::abs(point.first - around) <= window) near.push_back(point);
    }
    if (near.empty()) return {0, 0};
    double slope = 0;
    double offset = near.front().second;
    for (int pass = 0; pass < 3; ++pass) {
        double n = 0, sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
        for (const auto& [x, y] : near) {
            if (pass > 0 && y - (offset + slope * x) > LINE_TOLERANCE_MICROS) continue;
            n += 1;
            sumX += x;
            sumY += y;
            sumXX += x * x;
            sumXY += x * y;
        }
        if (n < 2) break;
        double spread = n * sumXX - sumX * sumX;
        slope = spread > 0 ? (n * sumXY - sumX * sumY) / spread : 0;
        offset = (sumY - slope * sumX) / n;
    }
    return {offset, slope};
}

double ArrivalClock::FrameMicros(double frame) const {
    const double nominal = 1e6 / rate;
    if (earliest.empty()) return frame * nominal;
    // Only those within a few seconds of the frame: the machine's clock may be slewed at a rate that
    // changes over a run.
    auto [offset, slope] = Line(frame, WINDOW_SECONDS * rate);
    return offset + frame * (nominal + slope);
}

double ArrivalClock::PacePpm() const {
    if (earliest.size() < 2) return NAN;
    auto [offset, slope] = Line(earliest.front().first, earliest.back().first - earliest.front().first);
    return slope / (1e6 / rate) * 1e6;
}

std::vector<size_t> FindRises(const std::vector<int16_t>& recording, int threshold, size_t minGap) {
    std::vector<size_t> rises;
    size_t quiet = minGap;
    for (size_t i = 0; i < recording.size(); ++i) {
        if (std::abs(int{recording[i]}) < threshold) {
            ++quiet;
            continue;
        }
        if (quiet >= minGap) rises.push_back(i);
        quiet = 0;
    }
    return rises;
}

size_t FirstAbove(const std::vector<int16_t>& samples, int threshold) {
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(int{samples[i]}) >= threshold) return i;
    }
    return samples.size();
}

LinedUp LineUp(const std::vector<double>& written, const std::vector<double>& rises, double maxDelayMicros) {
    LinedUp result;
    if (written.empty() || rises.empty()) return result;
    // The rise nearest a sound's place at a delay, as recorded minus (written + delay).
    auto nearest = [&rises](double place) {
        auto after = std::lower_bound(rises.begin(), rises.end(), place);
        double best = INFINITY;
        if (after != rises.end()) best = *after - place;
        if (after != rises.begin() && std::abs(*(after - 1) - place) < std::abs(best)) best = *(after - 1) - place;
        return best;
    };
    // Every delay that puts some sound on some rise is a candidate; the one that lines up the most
    // sounds wins, the smaller delay between equals.
    double delay = 0;
    size_t most = 0;
    for (double sound : written) {
        for (double rise : rises) {
            double candidate = rise - sound;
            if (std::abs(candidate) > maxDelayMicros) continue;
            size_t lined = 0;
            for (double other : written) lined += std::abs(nearest(other + candidate)) < LINED_MICROS;
            if (lined > most || (lined == most && std::abs(candidate) < std::abs(delay))) {
                most = lined;
                delay = candidate;
            }
        }
    }
    if (most == 0) return result;
    for (size_t i = 0; i < written.size(); ++i) {
        double off = nearest(written[i] + delay);
        if (std::abs(off) > MATCH_MICROS) continue;
        result.differences.push_back((delay + off) / 1000.0);
        result.found.push_back(i);
    }
    return result;
}

}  // namespace pelorin::measure
