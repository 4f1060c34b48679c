#include "tone_onsets.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pelorin::bench {

MonitorRecorder::MonitorRecorder(std::string source, int rate, std::function<int64_t()> nowMicros)
    : source(std::move(source)), rate(rate), nowMicros(std::move(nowMicros)) {}

MonitorRecorder::~MonitorRecorder() { Stop(); }

bool MonitorRecorder::Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    child = fork();
    if (child < 0) return false;
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::string device = "--device=" + source;
        std::string rateArg = "--rate=" + std::to_string(rate);
        // Small fragments, so that arrival times follow the monitor closely.
        execlp("parec", "parec", device.c_str(), "--format=s16le", "--channels=2", rateArg.c_str(), "--raw",
               "--latency-msec=2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    reader = std::thread([this, fd = fds[0]] { Read(fd); });
    return true;
}

void MonitorRecorder::Read(int fd) {
    uint8_t buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        int64_t now = nowMicros();
        std::lock_guard lock(mutex);
        partial.insert(partial.end(), buffer, buffer + got);
        size_t frames = partial.size() / 4;
        for (size_t i = 0; i < frames; ++i) {
            int16_t sample;
            std::memcpy(&sample, &partial[i * 4], 2);
            left.push_back(sample);
        }
        partial.erase(partial.begin(), partial.begin() + static_cast<std::ptrdiff_t>(frames * 4));
        arrivals.emplace_back(static_cast<double>(left.size()), static_cast<double>(now));
    }
    close(fd);
}

void MonitorRecorder::Stop() {
    if (child > 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        child = -1;
    }
    if (reader.joinable()) reader.join();
}

std::vector<int16_t> MonitorRecorder::Samples() {
    std::lock_guard lock(mutex);
    return left;
}

measure::ArrivalClock MonitorRecorder::Clock(double from, double to) {
    std::lock_guard lock(mutex);
    std::vector<std::pair<double, double>> within;
    for (const auto& arrival : arrivals) {
        if (arrival.first >= from && arrival.first <= to) within.push_back(arrival);
    }
    return measure::ArrivalClock(rate, std::move(within));
}

double MonitorRecorder::FrameMicros(double frame) { return Clock(-INFINITY, INFINITY).FrameMicros(frame); }

double MonitorRecorder::FrameMicrosWithin(double frame, double from, double to) {
    return Clock(from, to).FrameMicros(frame);
}

double MonitorRecorder::FramesPerSecond(double from, double to) {
    double ppm = Clock(from, to).PacePpm();
    return std::isnan(ppm) ? rate : rate / (1 + ppm * 1e-6);
}

}  // namespace pelorin::bench
