#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "measure/loopback.h"

namespace pelorin::bench {

// Records a PulseAudio source, such as a null sink's monitor, through parec: 16-bit stereo at the
// rate the tones are in, each block noted with the time it arrived. The time a sample reached the
// monitor is read as the timing check's cable check reads its recording (measure::ArrivalClock): the
// sound server's clock may run apart from the machine's.
class MonitorRecorder {
public:
    MonitorRecorder(std::string source, int rate, std::function<int64_t()> nowMicros);
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    bool Start();
    void Stop();
    // The left channel.
    std::vector<int16_t> Samples();
    // When frame n of the recording reached the monitor, on the clock given: at the pace the sink
    // kept around it, measured from the arrivals (a null sink may keep another than its nominal rate).
    double FrameMicros(double frame);
    // The same from the arrivals of frames from..to only: a null sink keeps another pace once the
    // low-latency stream that played into it is gone.
    double FrameMicrosWithin(double frame, double from, double to);
    // The frames the monitor delivered a second of the clock given, over frames from..to.
    double FramesPerSecond(double from, double to);

private:
    void Read(int fd);
    // The recording's clock, read from the arrivals of frames from..to only.
    measure::ArrivalClock Clock(double from, double to);

    std::string source;
    int rate;
    std::function<int64_t()> nowMicros;
    pid_t child = -1;
    std::thread reader;
    std::mutex mutex;
    std::vector<int16_t> left;
    // Of every read: the frames received so far, and when.
    std::vector<std::pair<double, double>> arrivals;
    std::vector<uint8_t> partial;
};

// Where sounds start in a recording: shared with the timing check's sound check by cable.
using measure::FindRises;
using measure::FirstAbove;

}  // namespace pelorin::bench
