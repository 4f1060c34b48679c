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
// monitor is read off a line through the earliest arrivals of each half second around it, whose delay
// is the least the recording adds (measure::ArrivalClock): the sound server's clock may run apart from
// the machine's.
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
    // When frame n of the recording reached the monitor, on the clock given.
    double FrameMicros(double frame);

private:
    void Read(int fd);

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

using measure::FindRises;
using measure::FirstAbove;

}  // namespace pelorin::bench
