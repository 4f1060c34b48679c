#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Finding played sounds in a recording of them and putting the recording on the program's clock:
// the sound check by cable (pelorin --check --loopback) and the benchmark's recordings of a sink's
// monitor.
namespace pelorin::measure {

// What an input recorded: its first channel, and of every block that arrived, the frames received
// so far and when (microseconds on the program's clock).
struct Recording {
    int rate = 0;
    std::vector<int16_t> samples;
    std::vector<std::pair<double, double>> arrivals;
};

// The time a frame of a recording reached the input, read at the pace the frames arrived: off a line
// through the earliest arrivals of each half second within a few seconds of the frame, whose delay is
// the least the recording adds. The line's slope takes out an input whose clock runs apart from the
// machine's (a null sink with a low-latency stream runs about 0.18 % fast): that is the input's, not
// the program's.
class ArrivalClock {
public:
    ArrivalClock(int rate, std::vector<std::pair<double, double>> arrivals);
    double FrameMicros(double frame) const;
    // How much longer the input's frames last than their nominal length, over the whole recording,
    // in parts per million; NaN with fewer than two half seconds of arrivals.
    double PacePpm() const;

private:
    std::pair<double, double> Line(double around, double window) const;

    int rate;
    // The earliest arrival of each half second, as (frames, micros less the frames' nominal time).
    std::vector<std::pair<double, double>> earliest;
};

// Frames where sounds start in a recording of sounds separated by silence: each first sample at or
// above the threshold after at least minGap frames below it.
std::vector<size_t> FindRises(const std::vector<int16_t>& recording, int threshold, size_t minGap);
// The first frame of a sound at or above the threshold; its size when there is none.
size_t FirstAbove(const std::vector<int16_t>& samples, int threshold);

// Each played sound's recorded onset against the onset written for it (ms), for the sounds found:
// the recorded rises are lined up with the written onsets by the delay, within maxDelayMicros either
// way, that lines up the most of them to a millisecond; a sound counts as found where a rise lies
// within 20 ms of its place at that delay. written and rises are in microseconds, on the same clock.
struct LinedUp {
    std::vector<double> differences;  // ms, recorded minus written, in the order of `written`
    std::vector<size_t> found;        // the index in `written` of each difference
};
LinedUp LineUp(const std::vector<double>& written, const std::vector<double>& rises, double maxDelayMicros);

}  // namespace pelorin::measure
